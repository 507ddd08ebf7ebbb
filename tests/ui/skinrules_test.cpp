// The skinned controls' geometry and state, without windows.
#include "ui/skinrules.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>

#include "tests/ui/skinprinters.h"

namespace skin {

std::ostream& operator<<(std::ostream& out, const PiecePlacement& p) {
  return out << "piece " << p.piece << " " << p.dest;
}

namespace {

// Button types as the platform numbers them.
constexpr unsigned long kPush = 0, kDefPush = 1, kPlainCheck = 2, kAutoCheck = 3, kPlainRadio = 4,
                        kThreeState = 5, kAutoThreeState = 6, kGroupBox = 7, kUser = 8,
                        kAutoRadio = 9, kOwnerDraw = 11;
constexpr unsigned long kChildVisibleTab = 0x50010000;  // WS_CHILD | WS_VISIBLE | WS_TABSTOP
constexpr unsigned long kLeftText = 0x20;

TEST(ButtonKind, ComesFromTheLowByteOfTheStyle) {
  const struct {
    unsigned long style;
    int kind;
  } cases[] = {
      {kPush, kPushButton},
      {kDefPush, kPushButton},
      {kPlainCheck, kPushButton},
      {kAutoCheck, kCheckBox},
      {kPlainRadio, kPushButton},
      {kThreeState, kPushButton},
      {kAutoThreeState, kPushButton},
      {kGroupBox, kCheckBox},
      {kUser, kPushButton},
      {kAutoRadio, kRadioButton},
      {kOwnerDraw, kCheckBox},  // an item already owner-drawn when attached
      {kChildVisibleTab | kAutoRadio, kRadioButton},
      {kChildVisibleTab | kLeftText | kAutoCheck, kCheckBox},
      {0x300 | kPush, kPushButton},  // BS_CENTER is above the low byte
  };
  for (const auto& c : cases) EXPECT_EQ(ButtonKindFromStyle(c.style), c.kind) << "style " << std::hex << c.style;
}

TEST(ButtonKind, AttachingMakesEveryTypeOwnerDrawnAndKeepsTheOtherBits) {
  for (unsigned long type : {kPush, kDefPush, kAutoCheck, kPlainRadio, kAutoThreeState, kAutoRadio, kOwnerDraw})
    EXPECT_EQ(OwnerDrawStyle(type) & 0x0F, kOwnerDraw) << "type " << type;
  EXPECT_EQ(OwnerDrawStyle(kChildVisibleTab | kLeftText | kAutoCheck), kChildVisibleTab | kLeftText | kOwnerDraw);
}

TEST(ButtonFace, EachStatePicksItsFaceAndFallsBack) {
  FacesLoaded all;
  all.normal = all.down = all.disabled = all.over = all.focus = true;
  FacesLoaded normalOnly;
  normalOnly.normal = true;
  FacesLoaded none;
  FacesLoaded noNormal = all;
  noNormal.normal = false;

  struct Case {
    const char* name;
    ButtonLook look;
    FacesLoaded loaded;
    Face face;
    Edge edge;
    bool pushed;
  };
  auto look = [](bool disabled, bool selected, bool checked, bool hover, bool focused) {
    ButtonLook l;
    l.disabled = disabled;
    l.selected = selected;
    l.checked = checked;
    l.hover = hover;
    l.focused = focused;
    return l;
  };
  const Case cases[] = {
      {"idle", look(0, 0, 0, 0, 0), all, Face::kNormal, Edge::kRaised, false},
      {"hover", look(0, 0, 0, 1, 0), all, Face::kOver, Edge::kRaised, false},
      {"hover wins over focus", look(0, 0, 0, 1, 1), all, Face::kOver, Edge::kRaised, false},
      {"focus", look(0, 0, 0, 0, 1), all, Face::kFocus, Edge::kRaised, false},
      {"pressed", look(0, 1, 0, 1, 1), all, Face::kDown, Edge::kSunken, true},
      {"checked", look(0, 0, 1, 0, 0), all, Face::kDown, Edge::kSunken, true},
      {"disabled wins over all", look(1, 1, 1, 1, 1), all, Face::kDisabled, Edge::kRaised, false},
      {"only normal: hover", look(0, 0, 0, 1, 0), normalOnly, Face::kNormal, Edge::kRaised, false},
      {"only normal: focus", look(0, 0, 0, 0, 1), normalOnly, Face::kNormal, Edge::kRaised, false},
      {"only normal: pressed", look(0, 1, 0, 0, 0), normalOnly, Face::kButtonFaceFill, Edge::kSunken, true},
      {"only normal: disabled", look(1, 0, 0, 0, 0), normalOnly, Face::kButtonFaceFill, Edge::kRaised, false},
      {"no normal: hover face unused", look(0, 0, 0, 1, 1), noNormal, Face::kButtonFaceFill, Edge::kRaised, false},
      {"none: idle", look(0, 0, 0, 0, 0), none, Face::kButtonFaceFill, Edge::kRaised, false},
  };
  for (const Case& c : cases) {
    const FaceChoice choice = ChooseFace(c.look, c.loaded);
    EXPECT_EQ(choice.face, c.face) << c.name;
    EXPECT_EQ(choice.edge, c.edge) << c.name;
    EXPECT_EQ(choice.captionPushed, c.pushed) << c.name;
  }
}

TEST(ButtonFace, LoadFacesClampsFillModeAndInsetAndBorrowsTheNormalFaceWhenDisabledHasNone) {
  const short fills[][2] = {{-1, 0}, {0, 0}, {1, 1}, {2, 2}, {5, 2}, {-32768, 0}, {32767, 2}};
  for (const auto& f : fills) EXPECT_EQ(ClampFillMode(f[0]), f[1]) << f[0];
  const short insets[][2] = {{-3, 0}, {0, 0}, {7, 7}};
  for (const auto& i : insets) EXPECT_EQ(ClampTextInset(i[0]), i[1]) << i[0];
  const unsigned disabled[][3] = {{138, 0, 138}, {138, 136, 136}, {0, 0, 0}, {0, 136, 136}};
  for (const auto& d : disabled) EXPECT_EQ(DisabledFaceId(d[0], d[1]), d[2]) << d[0] << "," << d[1];
}

TEST(ButtonFace, CaptionKeepsTwoPixelsPlusTheInsetAndMovesWhenPressed) {
  const Rect item{0, 0, 74, 20};
  EXPECT_EQ(CaptionRect(item, 0, false), (Rect{2, 0, 72, 20}));
  EXPECT_EQ(CaptionRect(item, 3, false), (Rect{5, 0, 69, 20}));
  EXPECT_EQ(CaptionRect(item, -4, false), (Rect{2, 0, 72, 20}));
  EXPECT_EQ(CaptionRect(item, 0, true), (Rect{3, 1, 73, 21}));
}

TEST(ButtonCheck, ClicksAndSetCheckPerKind) {
  const struct {
    int kind;
    bool before;
    bool afterClick;
  } clicks[] = {
      {kPushButton, false, false}, {kCheckBox, false, true}, {kCheckBox, true, false},
      {kRadioButton, false, true}, {kRadioButton, true, true},
  };
  for (const auto& c : clicks) EXPECT_EQ(CheckAfterClick(c.kind, c.before), c.afterClick) << c.kind << c.before;

  EXPECT_FALSE(CheckAfterSetCheck(kPushButton, true)) << "a push button is never checked";
  EXPECT_TRUE(CheckAfterSetCheck(kCheckBox, true));
  EXPECT_FALSE(CheckAfterSetCheck(kCheckBox, false));
  EXPECT_TRUE(CheckAfterSetCheck(kRadioButton, true));
}

TEST(ProgressValue, PercentIsTruncatedExactly) {
  const struct {
    int lower, upper, position;
    int percent;
    const char* text;
  } cases[] = {
      {0, 100, 0, 0, "0%"},
      {0, 100, 1, 1, "1%"},
      {0, 100, 57, 57, "57%"},  // 0.57 × 100 in floating point is 56.99...
      {0, 100, 100, 100, "100%"},
      {0, 1000, 999, 99, "99%"},
      {0, 3, 2, 66, "66%"},
      {10, 20, 15, 50, "50%"},
      {-50, 50, 0, 50, "50%"},
      {0, 7, 7, 100, "100%"},
      {5, 5, 5, 0, "0%"},  // an empty range is a fraction of 0
      {0, 0, 0, 0, "0%"},
  };
  for (const auto& c : cases) {
    const ProgressValue v = ProgressValueOf(c.lower, c.upper, c.position);
    EXPECT_EQ(ProgressPercent(v), c.percent) << c.lower << ".." << c.upper << " at " << c.position;
    EXPECT_EQ(PercentText(v), c.text);
  }
  EXPECT_EQ(ScaleByFraction(450, ProgressValueOf(INT32_MIN, INT32_MAX, INT32_MAX)), 450) << "no overflow";
}

TEST(ProgressValue, BlocksOnlyWhenSomethingIsDone) {
  EXPECT_FALSE(ShowsBlocks(true, ProgressValueOf(0, 100, 0)));
  EXPECT_TRUE(ShowsBlocks(true, ProgressValueOf(0, 100, 1)));
  EXPECT_FALSE(ShowsBlocks(false, ProgressValueOf(0, 100, 50)));
  EXPECT_FALSE(ShowsBlocks(true, ProgressValueOf(5, 5, 6))) << "empty range";
}

// The dialog's pieces: background 459 × 14, block 5 × 10; n = trunc(450 × f).
TEST(BlockRow, TheDialogsBitmaps) {
  const Rect area{0, 0, 459, 14};
  const Size block{5, 10};
  const struct {
    int position;
    int n;
    int count;
  } cases[] = {
      {1, 4, 1}, {2, 9, 2}, {50, 225, 38}, {57, 256, 43}, {99, 445, 75}, {100, 450, 76},
  };
  for (const auto& c : cases) {
    const BlockRow row = LayoutBlockRow(area, 459, block, ProgressValueOf(0, 100, c.position));
    EXPECT_EQ(row.n, c.n) << c.position;
    EXPECT_EQ(row.count, c.count) << c.position;
    EXPECT_EQ(row.filled, (Rect{2, 2, c.n, 12})) << "F ends at x = n";
  }
  const BlockRow full = LayoutBlockRow(area, 459, block, ProgressValueOf(0, 100, 100));
  EXPECT_EQ(full.BlockAt(0), (Rect{2, 2, 7, 12}));
  EXPECT_EQ(full.BlockAt(1), (Rect{8, 2, 13, 12})) << "one pixel apart";
  EXPECT_EQ(full.BlockAt(75), (Rect{452, 2, 457, 12})) << "the last 450 pixels right of D.left, inside D";
  EXPECT_EQ(LayoutBlockRow(area, 459, block, ProgressValueOf(0, 1000, 999)).count, 75);

  int previous = 0;
  for (int p = 1; p <= 100; ++p) {
    const int count = LayoutBlockRow(area, 459, block, ProgressValueOf(0, 100, p)).count;
    EXPECT_GE(count, previous) << p;
    EXPECT_GE(count, 1) << p;
    previous = count;
  }
}

TEST(BlockRow, CentredInTheAreaShrunkByTwo) {
  const BlockRow row = LayoutBlockRow(Rect{10, 20, 110, 40}, 60, Size{4, 6}, ProgressValueOf(0, 10, 10));
  EXPECT_EQ(row.left, 12);
  EXPECT_EQ(row.top, (22 + 38 - 6) / 2);
  EXPECT_EQ(row.n, 52);
  EXPECT_EQ(row.count, 52 / 5 + 1);
}

TEST(BackgroundPieces, CapsUnscaledMiddleStretched) {
  const Size pieces[3] = {{4, 10}, {3, 10}, {6, 8}};
  const Rect area{0, 0, 100, 14};
  const std::vector<PiecePlacement> horizontal = {
      {0, {0, 2, 4, 12}}, {1, {4, 2, 94, 12}}, {2, {94, 2, 100, 10}}};
  EXPECT_EQ(BackgroundPieces(area, true, pieces), horizontal);

  const Rect tall{0, 0, 14, 100};
  const Size upright[3] = {{10, 4}, {10, 3}, {8, 6}};
  const std::vector<PiecePlacement> vertical = {
      {0, {2, 96, 12, 100}}, {1, {2, 6, 12, 96}}, {2, {2, 0, 10, 6}}};
  EXPECT_EQ(BackgroundPieces(tall, false, upright), vertical);
}

TEST(ThreePieceBar, MiddleGrowsWithTheFraction) {
  const Size pieces[3] = {{3, 8}, {2, 8}, {4, 8}};
  const Rect area{0, 0, 100, 14};
  // D = {2,2,98,12}; y0 = (2 + 12 - 8) / 2 = 3; m = 5; full length = 100 - 2 - 4 - 5 = 89.
  const ThreePieceBar half = LayoutThreePieceBar(area, true, pieces, ProgressValueOf(0, 100, 50));
  EXPECT_EQ(half.filled, (Rect{5, 3, 49, 11}));
  const std::vector<PiecePlacement> halfPieces = {
      {0, {2, 3, 5, 11}}, {1, {5, 3, 49, 11}}, {2, {49, 3, 53, 11}}};
  EXPECT_EQ(half.pieces, halfPieces);
  const ThreePieceBar full = LayoutThreePieceBar(area, true, pieces, ProgressValueOf(0, 100, 100));
  EXPECT_EQ(full.pieces[2].dest, (Rect{94, 3, 98, 11})) << "the end cap ends at D's right edge";
  const ThreePieceBar empty = LayoutThreePieceBar(area, true, pieces, ProgressValueOf(0, 100, 0));
  EXPECT_TRUE(empty.filled.IsEmpty());
  EXPECT_EQ(empty.pieces[2].dest.left, 5) << "the caps meet";

  // Vertical: D = {2,2,12,98}; x0 = (2 + 12 - 8) / 2 = 3; e = 98 - 8 = 90; full = 90 - (0 + 8 + 2) = 80.
  const Size upright[3] = {{8, 8}, {8, 2}, {8, 8}};
  const Rect tall{0, 0, 14, 100};
  const ThreePieceBar rising = LayoutThreePieceBar(tall, false, upright, ProgressValueOf(0, 4, 1));
  const std::vector<PiecePlacement> risingPieces = {
      {0, {3, 90, 11, 98}}, {1, {3, 70, 11, 90}}, {2, {3, 62, 11, 70}}};
  EXPECT_EQ(rising.pieces, risingPieces);
  EXPECT_EQ(rising.filled, (Rect{3, 70, 11, 90}));
}

}  // namespace
}  // namespace skin
