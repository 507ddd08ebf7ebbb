#include "tests/support/mouseinput.h"

#include "tests/support/pump.h"

namespace testsupport {

namespace {

DWORD g_lastPress = 0;

POINT CursorPos() {
  POINT p{};
  ::GetCursorPos(&p);
  return p;
}

void SendMouse(DWORD flags, POINT screen) {
  INPUT input{};
  input.type = INPUT_MOUSE;
  const int width = ::GetSystemMetrics(SM_CXSCREEN);
  const int height = ::GetSystemMetrics(SM_CYSCREEN);
  // Rounded up: the system maps back with x = dx * width / 65536, rounding down, so the pointer
  // lands on the same pixel.
  input.mi.dx = static_cast<LONG>((static_cast<long long>(screen.x) * 65536 + width - 1) / width);
  input.mi.dy = static_cast<LONG>((static_cast<long long>(screen.y) * 65536 + height - 1) / height);
  input.mi.dwFlags = flags | MOUSEEVENTF_ABSOLUTE;
  ::SendInput(1, &input, sizeof input);
}

}  // namespace

void MoveMouse(POINT screen) {
  SendMouse(MOUSEEVENTF_MOVE, screen);
  PumpUntil([&] {
    const POINT now = CursorPos();
    return now.x == screen.x && now.y == screen.y;
  });
  PumpFor(30);
}

void PressLeft() {
  SendMouse(MOUSEEVENTF_LEFTDOWN | MOUSEEVENTF_MOVE, CursorPos());
  g_lastPress = ::GetTickCount();
  PumpFor(30);
}

void ReleaseLeft() {
  SendMouse(MOUSEEVENTF_LEFTUP | MOUSEEVENTF_MOVE, CursorPos());
  PumpFor(30);
}

void WaitOutDoubleClick() {
  const DWORD gap = ::GetDoubleClickTime() + 100;
  const DWORD since = ::GetTickCount() - g_lastPress;
  if (g_lastPress && since < gap) PumpFor(gap - since);
}

void Click(POINT screen) {
  MoveMouse(screen);
  WaitOutDoubleClick();
  PressLeft();
  ReleaseLeft();
}

void DoubleClick(POINT screen) {
  Click(screen);
  PressLeft();
  ReleaseLeft();
}

POINT ToScreen(HWND hWnd, POINT client) {
  ::ClientToScreen(hWnd, &client);
  return client;
}

POINT CentreOf(HWND hWnd) {
  RECT rc{};
  ::GetClientRect(hWnd, &rc);
  return ToScreen(hWnd, POINT{(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2});
}

}  // namespace testsupport
