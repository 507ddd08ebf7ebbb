// Owning wrapper for WinINet handles.
#pragma once
#include <windows.h>
#include <wininet.h>

#include "framework/scopedhandle.h"

struct InternetHandleTraits {
  static HINTERNET Invalid() { return nullptr; }
  static bool IsValid(HINTERNET h) { return h != nullptr; }
  static void Close(HINTERNET h) { ::InternetCloseHandle(h); }
};
using UniqueInternetHandle = framework::ScopedHandle<HINTERNET, InternetHandleTraits>;
