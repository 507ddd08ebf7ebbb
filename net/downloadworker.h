// The worker thread of CInternetFileDown: one job from URL to file or text.
#pragma once
#include <windows.h>

// Thread entry. pParam is a heap-allocated std::shared_ptr<DownloadJob> that the worker takes
// over. Exit code 1 for a completed job, 0 for a failed one.
UINT DownloadThread(void* pParam);
