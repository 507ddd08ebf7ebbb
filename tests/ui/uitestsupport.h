// Helpers for window tests of the skinned controls: a skin bitmap drawn in code, message pumping,
// real mouse input and reading back what is on the screen.
#pragma once
#include <windows.h>

#include <functional>
#include <vector>

#include "framework/scopedhandle.h"

namespace uitest {

// A skin of nine columns of side x side squares and `rows` rows. Every square has its own colour
// (SkinColour); thumb squares (columns 2 and 6) have their first and last 3 pixels along the bar
// in ThumbStartColour / ThumbEndColour, so the unstretched ends can be told from the middle.
framework::UniqueBitmap MakeSkin(int side, int rows);
COLORREF SkinColour(int column, int row);
COLORREF ThumbStartColour(int row);
COLORREF ThumbEndColour(int row);

// Runs the thread's messages for `ms` milliseconds (at least one pass).
void PumpFor(DWORD ms);
// Runs messages until `done` holds or `ms` pass; returns whether it held.
bool PumpUntil(const std::function<bool()>& done, DWORD ms);

// Real input through the system, in screen coordinates.
void MoveMouse(POINT screen);
void PressLeft();
void ReleaseLeft();
// A window point (client coordinates) on the screen.
POINT ToScreen(HWND hWnd, POINT client);

// What the screen shows of a window's client area, children included.
class Snapshot {
 public:
  explicit Snapshot(HWND hWnd);
  COLORREF At(int x, int y) const;
  int Width() const { return m_width; }
  int Height() const { return m_height; }

 private:
  int m_width = 0;
  int m_height = 0;
  std::vector<DWORD> m_pixels;
};

}  // namespace uitest
