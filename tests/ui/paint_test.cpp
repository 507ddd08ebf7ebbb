// What the skin button and the image progress bar paint, and the blits every skinned control
// paints through, read back from a memory canvas.
// Colours are compared, never glyph shapes: Wine's fonts are not Windows'.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "resources/resource.h"
#include "tests/support/parentwindow.h"
#include "tests/support/pixels.h"
#include "tests/support/pump.h"
#include "ui/imageprogressctrl.h"
#include "ui/skinblits.h"
#include "ui/skinpaint.h"
#include "ui/xskinbutton.h"

namespace {

using testsupport::Canvas;
using testsupport::PictureAt;

// Test pictures (tests/ui/make_test_skin.py).
constexpr UINT kNormal = IDB_START_UPDATE_NORMAL, kPressed = IDB_START_UPDATE_PRESSED, kHover = IDB_START_UPDATE_HOVER;
constexpr UINT kFocus = 202, kDisabled = 203;
constexpr UINT kSmallPattern = 200;  // 10 × 6, every pixel its own colour
constexpr UINT kLargePattern = 201;  // 40 × 30, likewise
constexpr UINT kKeyedPattern = 204;  // 4 × 2, magenta on every other pixel
constexpr UINT kProgressBack = IDB_PROGRESS_BACKGROUND, kBlock = IDB_PROGRESS_BLOCK;
constexpr UINT kBackStart = 210, kBackMiddle = 211, kBackEnd = 212;
constexpr UINT kBarStart = 213, kBarMiddle = 214, kBarEnd = 215;
constexpr COLORREF kUntouched = RGB(0xFF, 0x00, 0xFF);

class ButtonPaint : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(button.Create("BUTTON", "", WS_CHILD | BS_PUSHBUTTON, RECT{0, 0, 74, 20}, &parent, 1));
  }
  // The button's owner-draw request, as the platform would make it, painted into `canvas`.
  void Draw(Canvas& canvas, UINT state, RECT rect = RECT{0, 0, 74, 20}) {
    DRAWITEMSTRUCT item{};
    item.CtlType = ODT_BUTTON;
    item.CtlID = 1;
    item.itemAction = ODA_DRAWENTIRE;
    item.itemState = state;
    item.hwndItem = button.m_hWnd;
    item.hDC = canvas.dc();
    item.rcItem = rect;
    button.DrawItem(item);
  }
  // The colour of the middle of the face drawn for `state`.
  COLORREF FaceColour(UINT state) {
    Canvas canvas(74, 20);
    Draw(canvas, state);
    return canvas.At(37, 10);
  }

  testsupport::ParentWindow parent{false};
  CxSkinButton button;
};

TEST_F(ButtonPaint, EachStateShowsItsFace) {
  button.LoadFaces(kNormal, kPressed, kHover, kDisabled, kFocus, 0, 0, 0, 0);
  const COLORREF normal = PictureAt(kNormal), pressed = PictureAt(kPressed), hover = PictureAt(kHover),
                 focus = PictureAt(kFocus), disabled = PictureAt(kDisabled);
  const struct {
    const char* name;
    UINT state;
    bool hover;
    bool checked;
    COLORREF colour;
  } cases[] = {
      {"idle", 0, false, false, normal},
      {"hover", 0, true, false, hover},
      {"focus", ODS_FOCUS, false, false, focus},
      {"hover and focus", ODS_FOCUS, true, false, hover},
      {"pushed", ODS_SELECTED | ODS_FOCUS, false, false, pressed},
      {"checked", 0, false, true, pressed},
      {"disabled", ODS_DISABLED, true, true, disabled},
  };
  for (const auto& c : cases) {
    button.m_bHover = c.hover;
    button.m_bChecked = c.checked;
    EXPECT_EQ(FaceColour(c.state), c.colour) << c.name;
  }
}

TEST_F(ButtonPaint, MissingFacesFallBackToNormalOrTheButtonFaceColour) {
  const COLORREF buttonFace = ::GetSysColor(COLOR_BTNFACE);
  button.LoadFaces(kNormal, 0, 0, 0, 0, 0, 0, 0, 0);
  const COLORREF normal = PictureAt(kNormal);
  button.m_bHover = true;
  EXPECT_EQ(FaceColour(0), normal) << "hover";
  button.m_bHover = false;
  EXPECT_EQ(FaceColour(ODS_FOCUS), normal) << "focus";
  EXPECT_EQ(FaceColour(ODS_SELECTED), buttonFace) << "pushed without a pressed face";
  EXPECT_EQ(FaceColour(ODS_DISABLED), normal) << "the normal picture loaded again as the disabled face";

  button.LoadFaces(0, 0, 0, 0, 0, 0, 0, 0, 0);
  for (UINT state : {0u, UINT(ODS_SELECTED), UINT(ODS_DISABLED), UINT(ODS_FOCUS)})
    EXPECT_EQ(FaceColour(state), buttonFace) << "state " << state;
}

TEST_F(ButtonPaint, CopyModeCutsALargeFaceAndLeavesWhatASmallOneDoesNotCover) {
  button.LoadFaces(kLargePattern, 0, 0, 0, 0, 0, 0, 0, 0);
  Canvas large(25, 14);
  Draw(large, 0, RECT{0, 0, 25, 14});
  for (int y = 0; y < 14; ++y)
    for (int x = 0; x < 25; ++x) ASSERT_EQ(large.At(x, y), PictureAt(kLargePattern, x, y)) << x << "," << y;

  button.LoadFaces(kSmallPattern, 0, 0, 0, 0, 0, 0, 0, 0);
  Canvas small(25, 14);
  Draw(small, 0, RECT{3, 2, 25, 14});
  for (int y = 0; y < 14; ++y)
    for (int x = 0; x < 25; ++x) {
      const bool covered = x >= 3 && x < 13 && y >= 2 && y < 8;
      ASSERT_EQ(small.At(x, y), covered ? PictureAt(kSmallPattern, x - 3, y - 2) : kUntouched) << x << "," << y;
    }
}

TEST_F(ButtonPaint, StretchModeScalesTheWholeFace) {
  button.LoadFaces(kSmallPattern, 0, 0, 0, 0, 0, 1, 0, 0);
  Canvas canvas(20, 12);
  Draw(canvas, 0, RECT{0, 0, 20, 12});
  for (int y = 0; y < 12; ++y)
    for (int x = 0; x < 20; ++x) ASSERT_EQ(canvas.At(x, y), PictureAt(kSmallPattern, x / 2, y / 2)) << x << "," << y;
}

TEST_F(ButtonPaint, TileModeRepeatsTheFaceAndCutsTheLastTiles) {
  button.LoadFaces(kSmallPattern, 0, 0, 0, 0, 0, 2, 0, 0);
  Canvas canvas(25, 14);
  Draw(canvas, 0, RECT{0, 0, 25, 14});
  for (int y = 0; y < 14; ++y)
    for (int x = 0; x < 25; ++x) ASSERT_EQ(canvas.At(x, y), PictureAt(kSmallPattern, x % 10, y % 6)) << x << "," << y;
}

TEST_F(ButtonPaint, EdgeIsRaisedOrSunken) {
  button.LoadFaces(kNormal, kPressed, 0, 0, 0, 0, 0, 1, 0);
  Canvas raised(74, 20);
  Draw(raised, 0);
  EXPECT_EQ(raised.At(0, 0), ::GetSysColor(COLOR_3DLIGHT));
  EXPECT_EQ(raised.At(73, 19), ::GetSysColor(COLOR_3DDKSHADOW));
  EXPECT_EQ(raised.At(37, 10), PictureAt(kNormal)) << "the face inside the edge";
  Canvas sunken(74, 20);
  Draw(sunken, ODS_SELECTED);
  EXPECT_EQ(sunken.At(0, 0), ::GetSysColor(COLOR_3DSHADOW));
  EXPECT_EQ(sunken.At(73, 19), ::GetSysColor(COLOR_3DHILIGHT));
}

// The caption's pixels: where the drawing differs from the bare face.
RECT CaptionBox(const Canvas& canvas, COLORREF face, int* count) {
  RECT box{canvas.width(), canvas.height(), -1, -1};
  *count = 0;
  for (int y = 0; y < canvas.height(); ++y)
    for (int x = 0; x < canvas.width(); ++x)
      if (canvas.At(x, y) != face) {
        ++*count;
        box.left = std::min<LONG>(box.left, x);
        box.top = std::min<LONG>(box.top, y);
        box.right = std::max<LONG>(box.right, x + 1);
        box.bottom = std::max<LONG>(box.bottom, y + 1);
      }
  return box;
}

TEST_F(ButtonPaint, CaptionInItsColourMovesOnePixelWhenPressedAndStaysInItsInset) {
  ::SetWindowTextA(button.m_hWnd, "업데이트 OK");
  button.LoadFaces(kNormal, kPressed, 0, kDisabled, 0, 0, 0, 0, 6);
  button.m_crCaption = RGB(0xFF, 0xFF, 0x00);
  const auto yellowish = [](COLORREF c) { return GetRValue(c) > 0xC0 && GetGValue(c) > 0xC0 && GetBValue(c) < 0x80; };

  Canvas normal(74, 20);
  Draw(normal, 0);
  int normalCount = 0;
  const RECT normalBox = CaptionBox(normal, PictureAt(kNormal), &normalCount);
  ASSERT_GT(normalCount, 0);
  EXPECT_GT(normal.Count(0, 0, 74, 20, yellowish), 0);
  EXPECT_GE(normalBox.left, 8) << "2 pixels plus the inset of 6";
  EXPECT_LE(normalBox.right, 74 - 8);

  Canvas pressed(74, 20);
  Draw(pressed, ODS_SELECTED);
  int pressedCount = 0;
  const RECT pressedBox = CaptionBox(pressed, PictureAt(kPressed), &pressedCount);
  EXPECT_EQ(pressedCount, normalCount);
  EXPECT_EQ(pressedBox.left, normalBox.left + 1);
  EXPECT_EQ(pressedBox.top, normalBox.top + 1);

  Canvas disabled(74, 20);
  Draw(disabled, ODS_DISABLED);
  EXPECT_GT(disabled.Count(0, 0, 74, 20, yellowish), 0) << "a disabled caption keeps its colour";
}

// ---- Image progress bar ----

class ProgressPaint : public ::testing::Test {
 protected:
  void Attach(DWORD style = 0, RECT rect = RECT{0, 0, 459, 14}) {
    ASSERT_TRUE(progress.Create(PROGRESS_CLASSA, "", WS_CHILD | style, rect, &parent, 1009));
    progress.SetRange(0, 100);
  }
  void PaintAt(int position, Canvas& canvas) {
    progress.SetPos(position);
    progress.PaintTo(canvas.dc());
  }

  testsupport::ParentWindow parent{false};
  CImageProgressCtrl progress;
};

// Columns the centred caption cannot reach in a 459-pixel bar.
bool AwayFromCaption(int x) { return x < 200 || x > 260; }

TEST_F(ProgressPaint, BlockRowForThePosition) {
  Attach();
  progress.SetBkBitmap(3, kProgressBack);
  const COLORREF block = PictureAt(kBlock), inside = PictureAt(kProgressBack, 5, 5),
                 frame = PictureAt(kProgressBack, 0, 0);
  const struct {
    int position;
    int blocks;
  } cases[] = {{0, 0}, {1, 1}, {2, 2}, {50, 38}, {100, 76}};
  for (const auto& c : cases) {
    Canvas canvas(459, 14);
    PaintAt(c.position, canvas);
    EXPECT_EQ(canvas.At(0, 0), frame);
    EXPECT_EQ(canvas.At(458, 13), frame);
    for (int i = 0; i < 76; ++i) {
      const int left = 2 + i * 6;
      if (!AwayFromCaption(left) || !AwayFromCaption(left + 5)) continue;
      const COLORREF expected = i < c.blocks ? block : inside;
      EXPECT_EQ(canvas.At(left, 2), expected) << "position " << c.position << " block " << i;
      EXPECT_EQ(canvas.At(left + 4, 11), expected) << "position " << c.position << " block " << i;
      EXPECT_EQ(canvas.At(left + 5, 6), inside) << "one pixel apart";
      EXPECT_EQ(canvas.At(left, 1), inside) << "10 pixels high, from y = 2";
      EXPECT_EQ(canvas.At(left, 12), inside);
    }
    EXPECT_EQ(canvas.At(457, 6), inside) << "nothing after the last block";
  }
}

TEST_F(ProgressPaint, AnotherPictureInTheBlockSlotGivesWayToTheProgramsBlockAtThePaint) {
  Attach();
  progress.SetBkBitmap(3, kProgressBack);
  progress.SetBarBitmap(3, kBarStart);  // replaced by the program's block at the next paint
  Canvas canvas(459, 14);
  PaintAt(100, canvas);
  EXPECT_EQ(canvas.At(2, 2), PictureAt(kBlock));
  EXPECT_EQ(canvas.At(6, 11), PictureAt(kBlock)) << "5 pixels wide";
}

// A paint keeps the block that is loaded: the same bitmap, however many paints follow, whether the
// block was set before the first paint or the first paint had to take it.
TEST_F(ProgressPaint, TheBlockIsLoadedOnceNotAtEveryPaint) {
  Attach();
  progress.SetBkBitmap(3, kProgressBack);
  progress.SetBarBitmap(3, kBlock);
  const HGDIOBJ set = progress.m_bmpBar[3].Get();
  ASSERT_TRUE(set);
  for (int position : {10, 50, 100}) {
    Canvas canvas(459, 14);
    PaintAt(position, canvas);
    EXPECT_EQ(canvas.At(2, 2), PictureAt(kBlock)) << position;
    EXPECT_EQ(progress.m_bmpBar[3].Get(), set) << "reloaded by the paint at " << position;
  }

  CImageProgressCtrl fresh;
  ASSERT_TRUE(fresh.Create(PROGRESS_CLASSA, "", WS_CHILD, RECT{0, 0, 459, 14}, &parent, 1010));
  fresh.SetRange(0, 100);
  fresh.SetBkBitmap(3, kProgressBack);
  fresh.SetPos(100);
  Canvas first(459, 14);
  fresh.PaintTo(first.dc());
  const HGDIOBJ taken = fresh.m_bmpBar[3].Get();
  ASSERT_TRUE(taken) << "the first paint takes the block";
  EXPECT_EQ(first.At(2, 2), PictureAt(kBlock));
  Canvas second(459, 14);
  fresh.PaintTo(second.dc());
  EXPECT_EQ(fresh.m_bmpBar[3].Get(), taken) << "reloaded by the second paint";
}

TEST_F(ProgressPaint, CaptionTakesTheBarsColourInsideTheFilledPart) {
  Attach();
  progress.SetBkBitmap(3, kProgressBack);
  progress.m_crBar = RGB(0, 0, 0xFF);
  ASSERT_EQ(progress.m_crBarText, RGB(0, 0, 0));
  // Anti-aliased edges of the first, clipped-over caption leave a faint tint inside F (at most
  // 0x40 of blue over red); the caption proper is far bluer than that.
  const auto blue = [](COLORREF c) {
    return GetBValue(c) > GetRValue(c) + 0x60 && GetBValue(c) > GetGValue(c) + 0x60;
  };
  const auto dark = [&](COLORREF c) {
    return !blue(c) && GetRValue(c) + GetGValue(c) + GetBValue(c) < 0x120;
  };

  // 51 %: n = trunc(450 × 0.51) = 229, the middle of the bar, so F's edge cuts through "51%".
  Canvas canvas(459, 14);
  PaintAt(51, canvas);
  const int n = 229;
  const int darkInside = canvas.Count(2, 2, n, 12, dark);
  const int blueInside = canvas.Count(2, 2, n, 12, blue);
  const int darkOutside = canvas.Count(n, 0, 459, 14, dark) + canvas.Count(0, 0, n, 2, dark) +
                          canvas.Count(0, 12, n, 14, dark);
  const int blueOutside = canvas.Count(n, 0, 459, 14, blue);
  EXPECT_GT(darkInside, 0) << "black over the blocks";
  EXPECT_EQ(blueInside, 0);
  EXPECT_EQ(darkOutside, 0);
  EXPECT_GT(blueOutside, 0) << "the bar's colour beyond them";

  // At the lower bound nothing is filled: the whole caption has the bar's colour.
  Canvas empty(459, 14);
  PaintAt(0, empty);
  EXPECT_EQ(empty.Count(0, 0, 459, 14, dark), 0);
  EXPECT_GT(empty.Count(0, 0, 459, 14, blue), 0);
}

TEST_F(ProgressPaint, AnEmptyRangeShowsNothingDone) {
  Attach();
  progress.SetBkBitmap(3, kProgressBack);
  progress.SetRange(5, 5);
  Canvas canvas(459, 14);
  PaintAt(5, canvas);
  EXPECT_EQ(canvas.At(2, 2), PictureAt(kProgressBack, 2, 2)) << "no block";
}

TEST_F(ProgressPaint, PlainLookWithoutBackgroundPieces) {
  Attach();
  progress.SetBkBitmap(0, kBackStart);  // one piece of three is not enough
  Canvas canvas(459, 14);
  PaintAt(0, canvas);
  EXPECT_EQ(canvas.At(0, 0), progress.m_crShadow);
  EXPECT_EQ(canvas.At(0, 12), progress.m_crShadow);
  EXPECT_EQ(canvas.At(100, 0), progress.m_crShadow);
  EXPECT_EQ(canvas.At(458, 5), progress.m_crHighlight);
  EXPECT_EQ(canvas.At(100, 13), progress.m_crHighlight);
  EXPECT_EQ(canvas.At(10, 6), progress.m_crFace);
}

TEST_F(ProgressPaint, ThreePieceBackgroundAndBar) {
  Attach();
  progress.SetBkBitmap(0, kBackStart);
  progress.SetBkBitmap(1, kBackMiddle);
  progress.SetBkBitmap(2, kBackEnd);
  progress.SetBarBitmap(0, kBarStart);
  progress.SetBarBitmap(1, kBarMiddle);
  progress.SetBarBitmap(2, kBarEnd);
  Canvas canvas(459, 14);
  PaintAt(0, canvas);  // at the lower bound the three-piece bar stands in for the blocks
  EXPECT_EQ(canvas.At(0, 0), PictureAt(kBackStart));
  EXPECT_EQ(canvas.At(0, 13), PictureAt(kBackStart));
  EXPECT_EQ(canvas.At(1, 1), PictureAt(kBackStart)) << "start cap 4 wide";
  EXPECT_EQ(canvas.At(4, 0), PictureAt(kBackMiddle));
  EXPECT_EQ(canvas.At(100, 13), PictureAt(kBackMiddle)) << "middle stretched";
  EXPECT_EQ(canvas.At(452, 0), PictureAt(kBackMiddle));
  EXPECT_EQ(canvas.At(453, 0), PictureAt(kBackEnd)) << "end cap 6 wide at the right edge";
  EXPECT_EQ(canvas.At(458, 13), PictureAt(kBackEnd));

  // Bar: start cap at D.left = 2, y = (2 + 12 - 10) / 2 = 2; an empty middle; the end cap next to it.
  EXPECT_EQ(canvas.At(2, 2), PictureAt(kBarStart));
  EXPECT_EQ(canvas.At(5, 11), PictureAt(kBarStart));
  EXPECT_EQ(canvas.At(6, 2), PictureAt(kBarEnd));
  EXPECT_EQ(canvas.At(8, 11), PictureAt(kBarEnd));
  EXPECT_EQ(canvas.At(9, 5), PictureAt(kBackMiddle));
}

TEST_F(ProgressPaint, ResizingAfterAttachKeepsThePaintedArea) {
  Attach();
  progress.SetBkBitmap(3, kProgressBack);
  ::MoveWindow(progress.m_hWnd, 0, 0, 500, 30, FALSE);
  Canvas canvas(500, 30);
  PaintAt(100, canvas);
  EXPECT_EQ(canvas.At(458, 13), PictureAt(kProgressBack, 0, 0));
  EXPECT_EQ(canvas.At(459, 5), kUntouched);
  EXPECT_EQ(canvas.At(5, 14), kUntouched);
  EXPECT_EQ(canvas.At(499, 29), kUntouched);
}

TEST_F(ProgressPaint, NoFrameAndNoEraseOnTheWindow) {
  Attach(WS_BORDER);
  EXPECT_EQ(progress.SendMessage(WM_NCPAINT, 1), 0);
  Canvas canvas(4, 4);
  EXPECT_EQ(progress.SendMessage(WM_ERASEBKGND, reinterpret_cast<WPARAM>(canvas.dc())), TRUE);
  EXPECT_EQ(canvas.At(1, 1), kUntouched);
}

}  // namespace

namespace {

// A downloader moves the bar from its own thread, a hundred times per file, and waits for each
// move: the paint a move causes comes later, once the bar's thread is idle (at most every 30 ms),
// and then it does come, showing the last position.
TEST(ProgressRepaint, APositionChangeIsPaintedLaterWhenTheThreadIsIdle) {
  testsupport::ParentWindow parent;
  CImageProgressCtrl progress;
  ASSERT_TRUE(progress.Create(PROGRESS_CLASSA, "", WS_CHILD | WS_VISIBLE, RECT{0, 0, 459, 14}, &parent, 1009));
  progress.SetRange(0, 100);
  progress.SetBkBitmap(3, kProgressBack);
  // Block 50 starts at x = 2 + 50 × 6: filled from about 67 % on.
  const auto shown = [&progress] {
    Canvas canvas(459, 14);
    framework::ScopedWindowDC window(progress.m_hWnd);
    ::BitBlt(canvas.dc(), 0, 0, 459, 14, window.Get(), 0, 0, SRCCOPY);
    return canvas.At(302, 3);
  };
  const COLORREF block = PictureAt(kBlock), inside = PictureAt(kProgressBack, 5, 5);
  progress.SetPos(10);
  ASSERT_TRUE(testsupport::PumpUntil([&] { return shown() == inside; }));

  for (int position = 11; position <= 90; ++position) progress.SetPos(position);
  EXPECT_EQ(progress.GetPos(), 90);
  EXPECT_EQ(shown(), inside) << "painted during the moves";
  EXPECT_TRUE(testsupport::PumpUntil([&] { return shown() == block; })) << "the moves never painted";

  // Right after a paint a move is held back (by a timer), and shown all the same.
  progress.SetPos(10);
  testsupport::PumpMessages();
  EXPECT_TRUE(testsupport::PumpUntil([&] { return shown() == inside; })) << "the last move never painted";
}

}  // namespace

// ---- Performing blits: what every control paints through ----

namespace {

framework::UniqueBitmap LoadPicture(UINT id) {
  return framework::UniqueBitmap(::LoadBitmapA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id)));
}

HBITMAP Handle(const framework::UniqueBitmap& bitmap) { return static_cast<HBITMAP>(bitmap.Get()); }

TEST(SkinPaint, CopiesInOrderAndStretchesWhereTheSizesDiffer) {
  const framework::UniqueBitmap pattern = LoadPicture(kSmallPattern);
  ASSERT_TRUE(pattern);
  Canvas canvas(40, 12);
  const skin::Blits blits = {
      {{0, 0, 10, 6}, {0, 0, 10, 6}},    // copied
      {{10, 0, 30, 12}, {0, 0, 10, 6}},  // stretched to twice its size
      {{0, 0, 1, 1}, {9, 5, 10, 6}},     // over the first
  };
  ASSERT_TRUE(skin::PaintBlits(canvas.dc(), Handle(pattern), blits));
  for (int y = 0; y < 12; ++y)
    for (int x = 0; x < 40; ++x) {
      COLORREF expected = kUntouched;
      if (x == 0 && y == 0) expected = PictureAt(kSmallPattern, 9, 5);
      else if (x < 10 && y < 6) expected = PictureAt(kSmallPattern, x, y);
      else if (x >= 10 && x < 30) expected = PictureAt(kSmallPattern, (x - 10) / 2, y / 2);
      ASSERT_EQ(canvas.At(x, y), expected) << x << "," << y;
    }
}

TEST(SkinPaint, AShrunkPictureKeepsItsColoursAndTheTargetsModeIsRestored) {
  const framework::UniqueBitmap pattern = LoadPicture(kSmallPattern);
  ASSERT_TRUE(pattern);
  Canvas canvas(5, 3);
  const int mode = ::GetStretchBltMode(canvas.dc());
  ASSERT_TRUE(skin::PaintBlits(canvas.dc(), Handle(pattern), skin::StretchBlits({0, 0, 5, 3}, {0, 0, 10, 6})));
  EXPECT_EQ(::GetStretchBltMode(canvas.dc()), mode);
  // Rows and columns are dropped, never mixed: every pixel is one of the picture's own.
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) {
      bool found = false;
      for (int py = 0; py < 6 && !found; ++py)
        for (int px = 0; px < 10 && !found; ++px) found = canvas.At(x, y) == PictureAt(kSmallPattern, px, py);
      EXPECT_TRUE(found) << x << "," << y;
    }
}

TEST(SkinPaint, AKeyedPaintLeavesTheKeyColourOut) {
  const framework::UniqueBitmap keyed = LoadPicture(kKeyedPattern);
  ASSERT_TRUE(keyed);
  const COLORREF behind = RGB(0x10, 0x10, 0x10);
  const COLORREF key = RGB(0xFF, 0x00, 0xFF);
  Canvas canvas(8, 2, behind);
  ASSERT_TRUE(skin::PaintBlitsKeyed(canvas.dc(), Handle(keyed), skin::StretchBlits({0, 0, 8, 2}, {0, 0, 4, 2}), key));
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 8; ++x) {
      const COLORREF source = PictureAt(kKeyedPattern, x / 2, y);
      EXPECT_EQ(canvas.At(x, y), source == key ? behind : source) << x << "," << y;
    }

  Canvas plain(4, 2, behind);
  ASSERT_TRUE(skin::PaintBlits(plain.dc(), Handle(keyed), skin::CopyBlits({0, 0, 4, 2}, {0, 0, 4, 2})));
  EXPECT_EQ(plain.At(0, 0), key) << "only a keyed paint leaves it out";
}

TEST(SkinPaint, AKeyedPaintCutToTheClipBoxPaintsThereWhatTheWholeWould) {
  // The update window's background as its erase paints it when a status line is hidden.
  const framework::UniqueBitmap pattern = LoadPicture(kLargePattern);
  ASSERT_TRUE(pattern);
  const COLORREF behind = RGB(0x10, 0x10, 0x10);
  Canvas canvas(40, 30, behind);
  const framework::UniqueGdiObject strip(::CreateRectRgn(7, 11, 29, 16));
  ::SelectClipRgn(canvas.dc(), static_cast<HRGN>(strip.Get()));
  ASSERT_TRUE(skin::PaintBlitsKeyed(canvas.dc(), Handle(pattern), skin::StretchBlits({0, 0, 40, 30}, {0, 0, 40, 30}),
                                    RGB(0xFF, 0x00, 0xFF)));
  ::SelectClipRgn(canvas.dc(), nullptr);
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x) {
      const bool inside = x >= 7 && x < 29 && y >= 11 && y < 16;
      ASSERT_EQ(canvas.At(x, y), inside ? PictureAt(kLargePattern, x, y) : behind) << x << "," << y;
    }
}

TEST(SkinPaint, KnowingWhereTheKeyIsPaintsTheSameAsKeyingEverything) {
  const framework::UniqueBitmap keyed = LoadPicture(kKeyedPattern);
  ASSERT_TRUE(keyed);
  const skin::PixelGrid pixels = skin::ReadPixels(Handle(keyed));
  ASSERT_EQ(pixels.width, 4);
  ASSERT_EQ(pixels.height, 2);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) {
      const COLORREF c = PictureAt(kKeyedPattern, x, y);
      EXPECT_EQ(pixels.pixels[static_cast<size_t>(y * 4 + x)],
                (static_cast<std::uint32_t>(GetRValue(c)) << 16) | (GetGValue(c) << 8) | GetBValue(c))
          << x << "," << y;
    }
  const COLORREF behind = RGB(0x10, 0x10, 0x10);
  const COLORREF key = RGB(0xFF, 0x00, 0xFF);
  // Each single pixel of the picture, and the whole, copied and stretched.
  skin::Blits blits;
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) blits.push_back({{x * 2, 4 + y * 2, x * 2 + 1, 5 + y * 2}, {x, y, x + 1, y + 1}});
  skin::Append(blits, skin::CopyBlits({0, 0, 4, 2}, {0, 0, 4, 2}));
  skin::Append(blits, skin::StretchBlits({8, 0, 16, 4}, {0, 0, 4, 2}));
  // Overlapping ones keep their order: a plain pixel under the keyed whole and one over it.
  const int plainX = PictureAt(kKeyedPattern, 0, 0) == key ? 1 : 0;
  blits.push_back({{0, 6, 1, 7}, {plainX, 0, plainX + 1, 1}});
  skin::Append(blits, skin::CopyBlits({0, 6, 4, 8}, {0, 0, 4, 2}));
  blits.push_back({{1, 6, 2, 7}, {plainX, 0, plainX + 1, 1}});
  Canvas everything(16, 8, behind), knowing(16, 8, behind);
  ASSERT_TRUE(skin::PaintBlitsKeyed(everything.dc(), Handle(keyed), blits, key));
  ASSERT_TRUE(skin::PaintBlitsKeyed(knowing.dc(), Handle(keyed), pixels, blits, key));
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 16; ++x) ASSERT_EQ(knowing.At(x, y), everything.At(x, y)) << x << "," << y;
  EXPECT_EQ(knowing.At(0, 0) == behind || knowing.At(1, 0) == behind, true) << "the key is left out";
}

TEST(SkinPaint, NothingToPaintAndNoPicture) {
  Canvas canvas(4, 4);
  const framework::UniqueBitmap pattern = LoadPicture(kSmallPattern);
  EXPECT_TRUE(skin::PaintBlits(canvas.dc(), Handle(pattern), {}));
  EXPECT_FALSE(skin::PaintBlits(canvas.dc(), nullptr, skin::CopyBlits({0, 0, 4, 4}, {0, 0, 4, 4})));
  EXPECT_EQ(canvas.At(1, 1), kUntouched);
}

TEST(SkinPaint, RectanglesCrossIntoGdiAndBack) {
  const skin::Rect r{-3, 4, 20, 17};
  const RECT gdi = skin::ToRECT(r);
  EXPECT_EQ(gdi.left, -3);
  EXPECT_EQ(gdi.top, 4);
  EXPECT_EQ(gdi.right, 20);
  EXPECT_EQ(gdi.bottom, 17);
  EXPECT_EQ(skin::FromRECT(gdi), r);
}

}  // namespace
