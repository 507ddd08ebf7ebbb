#include "tests/support/testskin.h"

#include "framework/dibsection.h"

namespace testsupport {

namespace {

constexpr int kColumns = 9;
constexpr int kThumbEnd = 3;

DWORD ToDib(COLORREF colour) {
  return (static_cast<DWORD>(GetRValue(colour)) << 16) | (static_cast<DWORD>(GetGValue(colour)) << 8) |
         GetBValue(colour);
}

}  // namespace

COLORREF SkinColour(int column, int row) { return RGB(20 + column * 25, 40 + row * 70, 230 - column * 20); }
COLORREF ThumbStartColour(int row) { return RGB(250, 20 + row * 70, 20); }
COLORREF ThumbEndColour(int row) { return RGB(20, 250, 20 + row * 70); }

framework::UniqueBitmap MakeSkin(int side, int rows) {
  void* bits = nullptr;
  framework::UniqueBitmap skin = framework::CreateTopDownDib(kColumns * side, rows * side, &bits);
  if (!skin) return skin;
  auto* pixels = static_cast<DWORD*>(bits);
  const int width = kColumns * side;
  for (int y = 0; y < rows * side; ++y) {
    for (int x = 0; x < width; ++x) {
      const int column = x / side, row = y / side;
      // Along the bar: y inside the square for the vertical thumb, x for the horizontal one.
      const int along = column == 2 ? y % side : x % side;
      COLORREF colour = SkinColour(column, row);
      if (column == 2 || column == 6) {
        if (along < kThumbEnd) colour = ThumbStartColour(row);
        else if (along >= side - kThumbEnd) colour = ThumbEndColour(row);
      }
      pixels[y * width + x] = ToDib(colour);
    }
  }
  ::GdiFlush();
  return skin;
}

}  // namespace testsupport
