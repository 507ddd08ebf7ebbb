#include "framework/log.h"

#include "framework/keptlog.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>

namespace framework {

void WriteLog(const char* format, ...) {
  char szLine[1024];
  va_list args;
  va_start(args, format);
  vsnprintf(szLine, sizeof szLine, format, args);
  va_end(args);
  ::OutputDebugStringA(szLine);
  KeepLogLine(szLine);
}

}  // namespace framework
