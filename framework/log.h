// The application's log operation for diagnostic lines. Nothing reaches the user: the line goes
// to the debugger output (a debugger, DebugView or Wine's debug channel shows it) and, once the
// program has named one, to the kept log for support (framework/keptlog.h).
#pragma once

namespace framework {

void WriteLog(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

}  // namespace framework
