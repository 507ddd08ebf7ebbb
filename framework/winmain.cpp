// Process entry point: hands control to the one application object.
#include <windows.h>

#include "framework/winapp.h"

namespace {
// Exit code 1 is the program's own (a refused background run); a failure nobody handled is told
// apart from it.
const int kExitUnhandledFailure = 2;
}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  framework::CWinApp* app = framework::GetApp();
  if (!app) return kExitUnhandledFailure;
  try {
    app->InitNames(instance);
    if (app->InitInstance()) {
      // The updater's InitInstance always returns FALSE; a TRUE would mean a message loop.
      MSG msg;
      while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
      }
    }
    return app->ExitInstance();
  } catch (...) {
    return kExitUnhandledFailure;
  }
}
