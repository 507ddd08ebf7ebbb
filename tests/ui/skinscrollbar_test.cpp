// The skinned scroll bar on real windows under real mouse input: its own scroll state as the
// platform's scroll calls see it, its painting from the skin, and what it sends its parent when
// an arrow, the track or the thumb is pressed, held, dragged or double-clicked.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "framework/wnd.h"
#include "tests/support/mouseinput.h"
#include "tests/support/pixels.h"
#include "tests/support/pump.h"
#include "tests/support/testskin.h"
#include "ui/skinscrollbar.h"

namespace {

using testsupport::SkinColour;

constexpr int kSide = 16;
constexpr int kInner = 200;
constexpr int kLength = kInner + 2 * kSide;
// With 0..99 and a page of 10 the thumb is 20 long and moves 2 pixels a position.
constexpr int kMax = 99;
constexpr int kPage = 10;
constexpr int kLast = kMax - kPage + 1;

// A scroll bar's owner: records every WM_VSCROLL / WM_HSCROLL and moves the bar as an owner
// would, within the range.
class OwnerWnd : public framework::CWnd {
 public:
  struct Event {
    UINT message;
    int code;
    int pos;
    HWND bar;
  };

  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message != WM_VSCROLL && message != WM_HSCROLL) return Default();
    const Event event{message, LOWORD(wParam), static_cast<short>(HIWORD(wParam)), reinterpret_cast<HWND>(lParam)};
    events.push_back(event);
    if (takesPosition) Apply(event);
    return 0;
  }

  int Count(int code) const {
    return static_cast<int>(std::count_if(events.begin(), events.end(), [&](const Event& e) { return e.code == code; }));
  }
  std::vector<int> Positions(int code) const {
    std::vector<int> positions;
    for (const Event& e : events)
      if (e.code == code) positions.push_back(e.pos);
    return positions;
  }

  std::vector<Event> events;
  bool takesPosition = true;

 private:
  static void Apply(const Event& e) {
    SCROLLINFO si{};
    si.cbSize = sizeof(si);
    si.fMask = SIF_ALL;
    ::GetScrollInfo(e.bar, SB_CTL, &si);
    int pos = si.nPos;
    switch (e.code) {
      case SB_LINEUP: pos -= 1; break;
      case SB_LINEDOWN: pos += 1; break;
      case SB_PAGEUP: pos -= static_cast<int>(si.nPage); break;
      case SB_PAGEDOWN: pos += static_cast<int>(si.nPage); break;
      case SB_THUMBPOSITION: pos = e.pos; break;
      default: return;
    }
    const int last = si.nMax - std::max<int>(static_cast<int>(si.nPage), 1) + 1;
    pos = std::max(si.nMin, std::min(pos, last));
    SCROLLINFO set{sizeof(set), SIF_POS, 0, 0, 0, pos, 0};
    ::SetScrollInfo(e.bar, SB_CTL, &set, TRUE);
  }
};

// Notes the scroll bar messages that reach the bar's own procedure.
class RecordingBar : public CSkinScrollBar {
 public:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message >= SBM_SETPOS && message <= SBM_GETSCROLLBARINFO) seen.push_back(message);
    return CSkinScrollBar::WindowProc(message, wParam, lParam);
  }
  bool Saw(UINT message) const { return std::find(seen.begin(), seen.end(), message) != seen.end(); }
  std::vector<UINT> seen;
};

class SkinScrollBarTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Clicks of the previous test must not pair with this test's first one into a double click.
    testsupport::PumpFor(600);
    skin_ = testsupport::MakeSkin(kSide, 3);
    ASSERT_TRUE(skin_);
    const RECT rc{100, 100, 400, 400};
    ASSERT_TRUE(owner_.CreateEx(0, framework::DefaultWndClass(), "owner", WS_POPUP | WS_VISIBLE, rc, nullptr, 0));
  }

  void TearDown() override { ::ReleaseCapture(); }

  // A bar of kLength along its axis at (40, 20) in the owner, range 0..99, page 10, at `pos`.
  void MakeBar(CSkinScrollBar& bar, bool vertical, int pos, HBITMAP skin = nullptr) {
    const RECT rc = vertical ? RECT{40, 20, 60, 20 + kLength} : RECT{20, 40, 20 + kLength, 60};
    ASSERT_TRUE(bar.Create("SCROLLBAR", "", WS_CHILD | WS_VISIBLE | (vertical ? SBS_VERT : SBS_HORZ), rc, &owner_, 7));
    bar.AttachBitmap(skin ? skin : static_cast<HBITMAP>(skin_.Get()));
    SCROLLINFO si{sizeof(si), SIF_ALL, 0, kMax, kPage, pos, 0};
    ::SetScrollInfo(bar.m_hWnd, SB_CTL, &si, TRUE);
    ::UpdateWindow(owner_.m_hWnd);
    testsupport::PumpFor(50);
  }

  // A point of the bar, given along and across its axis, on the screen.
  static POINT OnBar(const CSkinScrollBar& bar, int along, int across = kSide / 2) {
    const bool vertical = (bar.GetStyle() & SBS_VERT) != 0;
    return testsupport::ToScreen(bar.m_hWnd, vertical ? POINT{across, along} : POINT{along, across});
  }

  static COLORREF PixelAlong(const CSkinScrollBar& bar, int along, int across = kSide / 2) {
    const bool vertical = (bar.GetStyle() & SBS_VERT) != 0;
    const testsupport::Snapshot shot(bar.m_hWnd);
    return vertical ? shot.At(across, along) : shot.At(along, across);
  }

  framework::UniqueBitmap skin_;
  OwnerWnd owner_;
};

TEST_F(SkinScrollBarTest, ThePlatformsScrollCallsReachTheBarsOwnCopy) {
  RecordingBar bar;
  MakeBar(bar, true, 0);
  bar.seen.clear();

  SCROLLINFO set{sizeof(set), SIF_ALL, 5, 60, 7, 20, 33};
  ::SetScrollInfo(bar.m_hWnd, SB_CTL, &set, FALSE);
  EXPECT_TRUE(bar.Saw(SBM_SETSCROLLINFO));
  EXPECT_EQ(bar.ScrollInfo().nMin, 5);
  EXPECT_EQ(bar.ScrollInfo().nMax, 60);
  EXPECT_EQ(bar.ScrollInfo().nPage, 7u);
  EXPECT_EQ(bar.ScrollInfo().nPos, 20);
  EXPECT_EQ(bar.ScrollInfo().nTrackPos, -1) << "the track position is never taken";

  SCROLLINFO posOnly{sizeof(posOnly), SIF_POS, 0, 0, 0, 30, 0};
  ::SetScrollInfo(bar.m_hWnd, SB_CTL, &posOnly, FALSE);
  EXPECT_EQ(bar.ScrollInfo().nPos, 30);
  EXPECT_EQ(bar.ScrollInfo().nMax, 60) << "only what the mask selects";

  SCROLLINFO got{};
  got.cbSize = sizeof(got);
  got.fMask = SIF_ALL;
  EXPECT_TRUE(::GetScrollInfo(bar.m_hWnd, SB_CTL, &got));
  EXPECT_TRUE(bar.Saw(SBM_GETSCROLLINFO));
  EXPECT_EQ(got.nMin, 5);
  EXPECT_EQ(got.nMax, 60);
  EXPECT_EQ(got.nPage, 7u);
  EXPECT_EQ(got.nPos, 30);
  EXPECT_EQ(got.nTrackPos, -1);

  ::SetScrollPos(bar.m_hWnd, SB_CTL, 12, FALSE);
  EXPECT_EQ(bar.ScrollInfo().nPos, 12);
  EXPECT_EQ(::GetScrollPos(bar.m_hWnd, SB_CTL), 12);
  ::SetScrollRange(bar.m_hWnd, SB_CTL, 1, 40, FALSE);
  ::SendMessageA(bar.m_hWnd, SBM_SETRANGE, 2, 41);
  int low = -1, high = -1;
  ::GetScrollRange(bar.m_hWnd, SB_CTL, &low, &high);
  EXPECT_EQ(low, 2);
  EXPECT_EQ(high, 41);
}

TEST_F(SkinScrollBarTest, PaintsArrowsThumbEndsAndTrackFromTheSkin) {
  for (bool vertical : {true, false}) {
    SCOPED_TRACE(vertical ? "vertical" : "horizontal");
    CSkinScrollBar bar;
    MakeBar(bar, vertical, 45);
    const int c = vertical ? 0 : 4;
    RECT window{};
    ::GetClientRect(bar.m_hWnd, &window);
    EXPECT_EQ(vertical ? window.right : window.bottom, kSide) << "one skin square thick";
    // Thumb: 90 pixels after the up arrow, 20 long.
    const int thumb = kSide + 90;
    struct {
      int along;
      COLORREF colour;
    } const expected[] = {
        {0, SkinColour(c, 0)},
        {kSide - 1, SkinColour(c, 0)},
        {kSide, SkinColour(c + 3, 0)},
        {thumb - 1, SkinColour(c + 3, 0)},
        {thumb, testsupport::ThumbStartColour(0)},
        {thumb + 2, testsupport::ThumbStartColour(0)},
        {thumb + 3, SkinColour(c + 2, 0)},
        {thumb + 16, SkinColour(c + 2, 0)},
        {thumb + 17, testsupport::ThumbEndColour(0)},
        {thumb + 19, testsupport::ThumbEndColour(0)},
        {thumb + 20, SkinColour(c + 3, 0)},
        {kLength - kSide - 1, SkinColour(c + 3, 0)},
        {kLength - kSide, SkinColour(c + 1, 0)},
        {kLength - 1, SkinColour(c + 1, 0)},
    };
    for (const auto& e : expected) EXPECT_EQ(PixelAlong(bar, e.along), e.colour) << "at " << e.along;

    // Disabled, the standard bar would draw its own look; the skin stays.
    bar.EnableWindow(FALSE);
    testsupport::PumpFor(50);
    for (const auto& e : expected) EXPECT_EQ(PixelAlong(bar, e.along), e.colour) << "disabled, at " << e.along;
    bar.DestroyWindow();
  }
}

TEST_F(SkinScrollBarTest, HoverAndPressLooksComeFromTheirSkinRowsWhenTheSkinHasThem) {
  const framework::UniqueBitmap oneRow = testsupport::MakeSkin(kSide, 1);
  for (const bool threeRows : {true, false}) {
    SCOPED_TRACE(threeRows ? "three rows" : "one row, as the update window's skin");
    CSkinScrollBar bar;
    MakeBar(bar, true, 0, threeRows ? static_cast<HBITMAP>(skin_.Get()) : static_cast<HBITMAP>(oneRow.Get()));
    const int hover = threeRows ? 1 : 0;
    const int pressed = threeRows ? 2 : 0;

    testsupport::MoveMouse(OnBar(bar, kSide + 10));  // the thumb (16..36)
    EXPECT_EQ(PixelAlong(bar, kSide + 10), SkinColour(2, hover));
    testsupport::MoveMouse(OnBar(bar, 5));  // the up arrow: the thumb goes back to normal
    EXPECT_EQ(PixelAlong(bar, 5), SkinColour(0, hover));
    EXPECT_EQ(PixelAlong(bar, kSide + 10), SkinColour(2, 0));

    owner_.takesPosition = false;
    testsupport::PressLeft();
    EXPECT_EQ(PixelAlong(bar, 5), SkinColour(0, pressed));
    testsupport::MoveMouse(OnBar(bar, 100));  // off the pressed arrow
    EXPECT_EQ(PixelAlong(bar, 5), SkinColour(0, 0));
    testsupport::MoveMouse(OnBar(bar, 5));
    EXPECT_EQ(PixelAlong(bar, 5), SkinColour(0, pressed));
    testsupport::ReleaseLeft();
    EXPECT_EQ(PixelAlong(bar, 5), SkinColour(0, 0));
    owner_.takesPosition = true;
    bar.DestroyWindow();
    testsupport::PumpFor(600);
  }
}

TEST_F(SkinScrollBarTest, AHeldArrowStepsAtOnceThenRepeatsAfterTheDelayAndStopsAtTheMinimum) {
  CSkinScrollBar bar;
  MakeBar(bar, true, 3);
  testsupport::MoveMouse(OnBar(bar, 5));
  testsupport::PressLeft();
  testsupport::PumpFor(250);
  EXPECT_EQ(owner_.Count(SB_LINEUP), 1) << "one step at the press, none before the delay";
  EXPECT_EQ(bar.ScrollInfo().nPos, 2);

  // 3 -> 0, then the repeat stops at the minimum however long the arrow is held.
  EXPECT_TRUE(testsupport::PumpUntil([&] { return bar.ScrollInfo().nPos == 0; }, 3000));
  testsupport::PumpFor(600);
  testsupport::ReleaseLeft();
  EXPECT_EQ(owner_.Count(SB_LINEUP), 3);
  EXPECT_EQ(owner_.events.size(), 3u) << "no other code, no SB_ENDSCROLL";
}

TEST_F(SkinScrollBarTest, AHeldDownArrowKeepsSteppingAtTheEndBecauseTheMaximumIsNeverReached) {
  CSkinScrollBar bar;
  MakeBar(bar, true, kLast);
  testsupport::MoveMouse(OnBar(bar, kLength - 5));
  testsupport::PressLeft();
  // The press, the delay, then every 100 ms.
  EXPECT_TRUE(testsupport::PumpUntil([&] { return owner_.Count(SB_LINEDOWN) >= 4; }, 5000));
  testsupport::ReleaseLeft();
  testsupport::PumpFor(20);
  const int steps = owner_.Count(SB_LINEDOWN);
  EXPECT_EQ(bar.ScrollInfo().nPos, kLast) << "the owner keeps the position in range";
  testsupport::PumpFor(400);
  EXPECT_EQ(owner_.Count(SB_LINEDOWN), steps) << "nothing after the release";
}

TEST_F(SkinScrollBarTest, TheRepeatPausesWhileThePointerIsOffThePressedArrow) {
  CSkinScrollBar bar;
  MakeBar(bar, true, 50);
  owner_.takesPosition = false;
  testsupport::MoveMouse(OnBar(bar, kLength - 5));
  testsupport::PressLeft();
  testsupport::MoveMouse(OnBar(bar, kLength - 5, 200));  // beside the bar, still captured
  const int whenLeft = owner_.Count(SB_LINEDOWN);
  testsupport::PumpFor(1000);
  EXPECT_EQ(owner_.Count(SB_LINEDOWN), whenLeft) << "no steps while the pointer is off the arrow";
  testsupport::MoveMouse(OnBar(bar, kLength - 5));
  EXPECT_TRUE(testsupport::PumpUntil([&] { return owner_.Count(SB_LINEDOWN) >= 3; }, 2000)) << "back on it, it repeats";
  testsupport::ReleaseLeft();
}

TEST_F(SkinScrollBarTest, AHeldTrackPagesUntilTheThumbReachesThePointer) {
  CSkinScrollBar bar;
  MakeBar(bar, true, 0);
  // The thumb starts 2 pixels a position after the arrow and is 20 long: 166 lies in it from
  // position 66 to 75, which paging by 10 from 0 first reaches at 70.
  const int pointer = 166;
  testsupport::MoveMouse(OnBar(bar, pointer));
  testsupport::PressLeft();
  EXPECT_TRUE(testsupport::PumpUntil([&] { return bar.ScrollInfo().nPos == 70; }, 4000));
  testsupport::PumpFor(800);
  testsupport::ReleaseLeft();
  EXPECT_EQ(bar.ScrollInfo().nPos, 70) << "paging stopped under the pointer";
  EXPECT_EQ(owner_.Count(SB_PAGEDOWN), 7);
  EXPECT_EQ(owner_.events.size(), 7u);
}

TEST_F(SkinScrollBarTest, DraggingTheThumbSendsTrackPositionsThenOnePosition) {
  CSkinScrollBar bar;
  MakeBar(bar, true, 0);
  const int grab = kSide + 10;  // the thumb's middle
  testsupport::MoveMouse(OnBar(bar, grab));
  testsupport::PressLeft();
  EXPECT_TRUE(owner_.events.empty()) << "grabbing sends nothing";
  for (int d = 10; d <= 40; d += 10) testsupport::MoveMouse(OnBar(bar, grab + d));
  EXPECT_EQ(owner_.Positions(SB_THUMBTRACK).back(), 20) << "two pixels a position";
  EXPECT_EQ(bar.ScrollInfo().nTrackPos, 20);
  EXPECT_EQ(bar.ScrollInfo().nPos, 0) << "the owner has not taken a position yet";

  testsupport::MoveMouse(OnBar(bar, grab + 400));
  EXPECT_EQ(owner_.Positions(SB_THUMBTRACK).back(), kLast) << "clamped at the end";
  testsupport::MoveMouse(OnBar(bar, grab - 400));
  EXPECT_EQ(owner_.Positions(SB_THUMBTRACK).back(), 0) << "clamped at the start";
  testsupport::MoveMouse(OnBar(bar, grab + 40));
  const size_t tracked = owner_.events.size();
  // Beside the bar, at the same height: the drag does not move, even when the pointer's leave
  // is reported.
  testsupport::MoveMouse(OnBar(bar, grab + 40, 150));
  testsupport::PumpFor(800);
  EXPECT_EQ(owner_.events.size(), tracked);
  EXPECT_EQ(bar.ScrollInfo().nTrackPos, 20);

  testsupport::ReleaseLeft();
  EXPECT_EQ(owner_.Count(SB_THUMBPOSITION), 1);
  EXPECT_EQ(owner_.events.back().code, SB_THUMBPOSITION);
  EXPECT_EQ(owner_.events.back().pos, 20);
  EXPECT_EQ(owner_.Count(SB_ENDSCROLL), 0);
  EXPECT_EQ(bar.ScrollInfo().nPos, 20);
  EXPECT_EQ(bar.ScrollInfo().nTrackPos, -1);
  for (int p : owner_.Positions(SB_THUMBTRACK)) {
    EXPECT_GE(p, 0);
    EXPECT_LE(p, kLast);
  }
  // The thumb is drawn where the owner put it: 40 pixels after the arrow.
  EXPECT_EQ(PixelAlong(bar, kSide + 40 + 10), SkinColour(2, 0));
  EXPECT_EQ(PixelAlong(bar, kSide + 10), SkinColour(3, 0)) << "its old place shows the track";
}

TEST_F(SkinScrollBarTest, AThumbDropTheOwnerRefusesLeavesTheThumbWhereItWas) {
  CSkinScrollBar bar;
  MakeBar(bar, true, 0);
  owner_.takesPosition = false;
  testsupport::MoveMouse(OnBar(bar, kSide + 10));
  testsupport::PressLeft();
  testsupport::MoveMouse(OnBar(bar, kSide + 110));
  testsupport::ReleaseLeft();
  EXPECT_EQ(owner_.Count(SB_THUMBPOSITION), 1);
  EXPECT_EQ(bar.ScrollInfo().nPos, 0);
  EXPECT_EQ(PixelAlong(bar, kSide + 110), SkinColour(3, 0)) << "the dragged image is gone";
  EXPECT_EQ(PixelAlong(bar, kSide + 10), SkinColour(2, 0));
}

TEST_F(SkinScrollBarTest, ADoubleClickOnAnArrowStepsOnce) {
  CSkinScrollBar bar;
  MakeBar(bar, true, 50);
  testsupport::MoveMouse(OnBar(bar, kLength - 5));
  testsupport::PressLeft();
  testsupport::ReleaseLeft();
  testsupport::PressLeft();
  testsupport::ReleaseLeft();
  testsupport::PumpFor(800);
  EXPECT_EQ(owner_.Count(SB_LINEDOWN), 1);
  EXPECT_EQ(owner_.events.size(), 1u);
}

}  // namespace
