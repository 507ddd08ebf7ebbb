// Real mouse input through the system (SendInput), in screen coordinates, so a control sees the
// same messages, capture and double clicks as under a user's hand. The pointer is one per
// display: tests using this take the mouse_pointer resource lock.
#pragma once
#include <windows.h>

namespace testsupport {

// Moves the pointer and runs messages until the system reports it there.
void MoveMouse(POINT screen);
// Presses or releases the left button where the pointer is, at once: two presses in quick
// succession make a double click.
void PressLeft();
void ReleaseLeft();
// Runs messages until a press now cannot pair with the previous one into a double click.
void WaitOutDoubleClick();
// A single click: far enough in time from the previous press not to make a double click.
void Click(POINT screen);
// Two presses close enough for the system to make the second a double click.
void DoubleClick(POINT screen);

// A window point (client coordinates) on the screen, and the middle of its client area.
POINT ToScreen(HWND hWnd, POINT client);
POINT CentreOf(HWND hWnd);

}  // namespace testsupport
