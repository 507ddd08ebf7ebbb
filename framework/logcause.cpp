#include "framework/logcause.h"

#include <windows.h>

namespace framework {

const char* CauseOfSystemError(unsigned long nError) {
  switch (nError) {
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_USER_MAPPED_FILE:
      return cause::kHeld;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
      return cause::kAccess;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
    case ERROR_WRITE_FAULT:
    case ERROR_NOT_READY:
      return cause::kDisk;
    default:
      return cause::kSystem;
  }
}

}  // namespace framework
