// The application's log operation for diagnostic lines. Nothing reaches the user: the line goes
// to the debugger output only (a debugger, DebugView or Wine's debug channel shows it).
#pragma once

namespace framework {

void WriteLog(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

}  // namespace framework
