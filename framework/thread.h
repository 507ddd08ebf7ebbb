// Worker threads: normal priority, default stack, started at once.
#pragma once
#include <windows.h>

#include "framework/scopedhandle.h"

namespace framework {

using ThreadProc = UINT (*)(void* param);

// Starts `proc(param)` on a new thread. The caller owns the returned handle (wait on it, or let
// it go; closing the handle does not stop the thread). Invalid when the thread could not start.
// `proc` must not let an exception escape; one that does ends the thread with exit code 0.
UniqueHandle BeginThread(ThreadProc proc, void* param);

}  // namespace framework
