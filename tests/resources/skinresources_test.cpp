// The skin's pictures as the program gets them: every bitmap and icon loads from the resources
// with the size the window's layout relies on, and a few pixels show the right picture.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <type_traits>
#include <utility>
#include <vector>

#include "framework/scopedhandle.h"
#include "resources/resource.h"

namespace {

using framework::UniqueGdiObject;

struct IconDeleter {
  void operator()(HICON h) const { ::DestroyIcon(h); }
};
using UniqueIcon = std::unique_ptr<std::remove_pointer_t<HICON>, IconDeleter>;

struct DcDeleter {
  void operator()(HDC h) const { ::DeleteDC(h); }
};
using UniqueDc = std::unique_ptr<std::remove_pointer_t<HDC>, DcDeleter>;

struct ImageListDeleter {
  void operator()(HIMAGELIST h) const { ::ImageList_Destroy(h); }
};
using UniqueImageList = std::unique_ptr<std::remove_pointer_t<HIMAGELIST>, ImageListDeleter>;

// Pixels of a bitmap as 0xRRGGBB, row by row from the top.
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;
  uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x] & 0xFFFFFF; }
};

Picture ReadPixels(HBITMAP bitmap) {
  Picture pic;
  BITMAP bm{};
  if (::GetObjectA(bitmap, sizeof bm, &bm) != sizeof bm) return pic;
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = bm.bmWidth;
  bi.bmiHeader.biHeight = -bm.bmHeight;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  std::vector<uint32_t> pixels(static_cast<size_t>(bm.bmWidth) * bm.bmHeight);
  HDC screen = ::GetDC(nullptr);
  const int rows = ::GetDIBits(screen, bitmap, 0, bm.bmHeight, pixels.data(), &bi, DIB_RGB_COLORS);
  ::ReleaseDC(nullptr, screen);
  if (rows != bm.bmHeight) return pic;
  pic.width = bm.bmWidth;
  pic.height = bm.bmHeight;
  pic.pixels = std::move(pixels);
  return pic;
}

Picture LoadPicture(UINT id) {
  UniqueGdiObject bitmap(::LoadBitmapA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id)));
  if (!bitmap) return {};
  return ReadPixels(static_cast<HBITMAP>(bitmap.Get()));
}

int Red(uint32_t c) { return (c >> 16) & 0xFF; }
int Green(uint32_t c) { return (c >> 8) & 0xFF; }
int Blue(uint32_t c) { return c & 0xFF; }
bool IsOrange(uint32_t c) { return Red(c) > 200 && Green(c) > 90 && Green(c) < 200 && Blue(c) < 100; }
bool IsWhite(uint32_t c) { return Red(c) > 240 && Green(c) > 240 && Blue(c) > 240; }
bool IsBlue(uint32_t c) { return Blue(c) > Red(c) + 60 && Blue(c) > 150; }
bool IsRed(uint32_t c) { return Red(c) > 180 && Green(c) < 110 && Blue(c) < 110; }
// Grey, or the faintly blue grey of frames.
bool IsGrey(uint32_t c) {
  return std::abs(Red(c) - Green(c)) < 32 && std::abs(Green(c) - Blue(c)) < 32 && std::abs(Red(c) - Blue(c)) < 32;
}

int Count(const Picture& pic, bool (*test)(uint32_t)) {
  int n = 0;
  for (uint32_t c : pic.pixels) n += test(c & 0xFFFFFF) ? 1 : 0;
  return n;
}

constexpr uint32_t kMagenta = 0xFF00FF;

TEST(SkinBitmaps, LoadWithTheirSizes) {
  struct Case { UINT id; int width; int height; };
  const Case cases[] = {
      {IDB_BACKGROUND, 500, 409},
      {IDB_ROW_UNCHECKED, 13, 13}, {IDB_ROW_CHECKED, 13, 13}, {IDB_ROW_LOCKED, 13, 13},
      {IDB_START_UPDATE_NORMAL, 74, 20}, {IDB_START_UPDATE_PRESSED, 74, 20}, {IDB_START_UPDATE_HOVER, 74, 20},
      {IDB_START_CLOSE_NORMAL, 79, 21}, {IDB_START_CLOSE_PRESSED, 79, 21}, {IDB_START_CLOSE_HOVER, 79, 21},
      {IDB_PROGRESS_BLOCK, 5, 10}, {IDB_PROGRESS_BACKGROUND, 459, 14},
      {IDB_CLOSE_NORMAL, 13, 13}, {IDB_CLOSE_PRESSED, 13, 13}, {IDB_CLOSE_HOVER, 13, 13},
      {IDB_SCROLL_SKIN, 153, 17},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    UniqueGdiObject bitmap(::LoadBitmapA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(c.id)));
    ASSERT_TRUE(bitmap);
    BITMAP bm{};
    ASSERT_EQ(::GetObjectA(bitmap.Get(), sizeof bm, &bm), static_cast<int>(sizeof bm));
    EXPECT_EQ(bm.bmWidth, c.width);
    EXPECT_EQ(bm.bmHeight, c.height);
  }
}

TEST(SkinBitmaps, BackgroundKeysOutOnlyItsRoundedCorners) {
  const Picture bg = LoadPicture(IDB_BACKGROUND);
  ASSERT_EQ(bg.width, 500);
  for (auto [x, y] : {std::pair{0, 0}, {499, 0}, {0, 408}, {499, 408}}) EXPECT_EQ(bg.At(x, y), kMagenta);
  // Magenta only near the four corners: everything else is the window.
  for (int y = 0; y < bg.height; ++y) {
    for (int x = 0; x < bg.width; ++x) {
      const bool nearCorner = (x < 6 || x >= 494) && (y < 6 || y >= 403);
      if (!nearCorner) {
        ASSERT_NE(bg.At(x, y), kMagenta) << x << "," << y;
      }
    }
  }
  EXPECT_TRUE(IsBlue(bg.At(250, 12))) << std::hex << bg.At(250, 12);    // title band
  EXPECT_TRUE(IsWhite(bg.At(120, 160))) << std::hex << bg.At(120, 160);  // list panel
  EXPECT_TRUE(IsWhite(bg.At(360, 160))) << std::hex << bg.At(360, 160);  // notice panel
  EXPECT_FALSE(IsWhite(bg.At(11, 160)));                                 // the list panel's frame
}

TEST(SkinBitmaps, ProgressPiecesAreAGreyFrameAndAnOrangeBlock) {
  const Picture block = LoadPicture(IDB_PROGRESS_BLOCK);
  ASSERT_EQ(block.width, 5);
  EXPECT_TRUE(IsOrange(block.At(2, 5))) << std::hex << block.At(2, 5);

  const Picture frame = LoadPicture(IDB_PROGRESS_BACKGROUND);
  ASSERT_EQ(frame.width, 459);
  EXPECT_TRUE(IsGrey(frame.At(0, 7)));
  EXPECT_LT(Red(frame.At(0, 7)), Red(frame.At(229, 7)));  // a frame around a lighter inside
  EXPECT_TRUE(IsGrey(frame.At(229, 7)));
}

TEST(SkinBitmaps, RowBoxesShowEmptyRedAndGreyTicks) {
  const Picture empty = LoadPicture(IDB_ROW_UNCHECKED);
  const Picture checked = LoadPicture(IDB_ROW_CHECKED);
  const Picture locked = LoadPicture(IDB_ROW_LOCKED);
  EXPECT_EQ(Count(empty, IsRed), 0);
  EXPECT_TRUE(IsWhite(empty.At(6, 6)));
  EXPECT_GT(Count(checked, IsRed), 10);
  EXPECT_EQ(Count(locked, IsRed), 0);
  EXPECT_EQ(Count(locked, IsGrey), 13 * 13);
}

TEST(SkinBitmaps, StartButtonFacesCarryTheirCaptions) {
  // The update look is a blue face with a white word, the close look a light face with a dark one.
  for (UINT id : {IDB_START_UPDATE_NORMAL, IDB_START_UPDATE_PRESSED, IDB_START_UPDATE_HOVER}) {
    SCOPED_TRACE(id);
    const Picture face = LoadPicture(id);
    EXPECT_TRUE(IsBlue(face.At(5, 10)));
    EXPECT_GT(Count(face, [](uint32_t c) { return Red(c) > 200 && Green(c) > 200 && Blue(c) > 200; }), 25);
  }
  for (UINT id : {IDB_START_CLOSE_NORMAL, IDB_START_CLOSE_PRESSED, IDB_START_CLOSE_HOVER}) {
    SCOPED_TRACE(id);
    const Picture face = LoadPicture(id);
    EXPECT_GT(Red(face.At(5, 10)), 200);
    EXPECT_GT(Count(face, [](uint32_t c) { return Red(c) < 100 && Green(c) < 110; }), 15);
  }
}

TEST(SkinIcons, LoadAtBothSizes) {
  for (UINT id : {IDI_TALVOUPDATE, IDI_ROW_SERVERLIST, IDI_ROW_SPARE, IDI_ROW_PROGRAM, IDI_ROW_FILTER}) {
    SCOPED_TRACE(id);
    EXPECT_NE(::LoadIconA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id)), nullptr);
    for (int size : {16, 32}) {
      UniqueIcon icon(static_cast<HICON>(
          ::LoadImageA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id), IMAGE_ICON, size, size, 0)));
      ASSERT_TRUE(icon);
      ICONINFO info{};
      ASSERT_TRUE(::GetIconInfo(icon.get(), &info));
      UniqueGdiObject colour(info.hbmColor), mask(info.hbmMask);
      BITMAP bm{};
      ASSERT_TRUE(::GetObjectA(colour.Get(), sizeof bm, &bm));
      EXPECT_EQ(bm.bmWidth, size);
      EXPECT_EQ(bm.bmHeight, size);
    }
  }
}

// A 16 x 23 picture on magenta: what draw() leaves in it.
Picture DrawCell(const std::function<void(HDC)>& draw) {
  HDC screen = ::GetDC(nullptr);
  UniqueDc dc(::CreateCompatibleDC(screen));
  UniqueGdiObject canvas(::CreateCompatibleBitmap(screen, 16, 23));
  ::ReleaseDC(nullptr, screen);
  {
    framework::ScopedSelectObject select(dc.get(), canvas.Get());
    RECT all = {0, 0, 16, 23};
    UniqueGdiObject magenta(::CreateSolidBrush(RGB(255, 0, 255)));
    ::FillRect(dc.get(), &all, static_cast<HBRUSH>(magenta.Get()));
    draw(dc.get());
  }
  return ReadPixels(static_cast<HBITMAP>(canvas.Get()));
}

TEST(SkinIcons, RowImagesFillTheListsCellsUnscaledThroughTheirMask) {
  // The list keeps its row images in a 16 x 23 image list with a mask and no alpha; each icon
  // carries a 16 x 23 picture, so the cell shows the small icon unstretched, four rows down.
  UniqueImageList list(::ImageList_Create(16, 23, ILC_COLORDDB | ILC_MASK, 0, 1));
  ASSERT_TRUE(list);
  const UINT ids[] = {IDI_ROW_PROGRAM, IDI_ROW_FILTER, IDI_ROW_SERVERLIST, IDI_ROW_SPARE};
  for (UINT id : ids) {
    HICON icon = ::LoadIconA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id));
    ASSERT_NE(icon, nullptr);
    EXPECT_GE(::ImageList_AddIcon(list.get(), icon), 0);
  }
  ASSERT_EQ(::ImageList_GetImageCount(list.get()), 4);

  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    const Picture cell = DrawCell([&](HDC dc) { ::ImageList_Draw(list.get(), i, dc, 0, 0, ILD_TRANSPARENT); });
    UniqueIcon small(static_cast<HICON>(
        ::LoadImageA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(ids[i]), IMAGE_ICON, 16, 16, 0)));
    ASSERT_TRUE(small);
    const Picture expected = DrawCell([&](HDC dc) { ::DrawIconEx(dc, 0, 4, small.get(), 16, 16, 0, nullptr, DI_NORMAL); });
    ASSERT_EQ(cell.height, 23);
    ASSERT_EQ(expected.height, 23);
    int drawn = 0;
    for (int y = 0; y < 23; ++y) {
      for (int x = 0; x < 16; ++x) {
        // Edge pixels may differ by the alpha blend DrawIconEx does and the mask does not.
        const bool cellClear = cell.At(x, y) == kMagenta, expectedClear = expected.At(x, y) == kMagenta;
        EXPECT_EQ(cellClear, expectedClear) << x << "," << y;
        drawn += cellClear ? 0 : 1;
      }
    }
    EXPECT_GT(drawn, 50);
  }
}

}  // namespace
