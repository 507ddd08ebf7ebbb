// The skinned scroll bar's layout: where each part lies, what a point hits, which skin square
// paints what, and where a thumb drag lands, for the values an owner really hands a bar.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "tests/ui/scrollinvariants.h"
#include "tests/ui/skinprinters.h"
#include "ui/scrollgeometry.h"

namespace {

using namespace skinscroll;

constexpr int32_t kSide = 17;
constexpr int kThumbPositionCode = 4;  // SB_THUMBPOSITION: a scroll code that is no part

ScrollValues Values(int32_t min, int32_t max, uint32_t page, int32_t pos, int32_t trackPos = -1) {
  ScrollValues v;
  v.min = min;
  v.max = max;
  v.page = page;
  v.pos = pos;
  v.trackPos = trackPos;
  return v;
}

// A vertical bar whose track between the arrows is `inner` long.
BarShape WithInner(int32_t inner) { return BarShape{inner + 2 * kSide, kSide, true}; }

struct Along {
  int32_t start;
  int32_t end;
};

struct LayoutCase {
  const char* name;
  ScrollValues values;
  BarShape shape;
  Along up, pageUp, thumb, pageDown, down;
};

Along AlongAxis(const skin::Rect& b, bool vertical) {
  return vertical ? Along{b.top, b.bottom} : Along{b.left, b.right};
}

const LayoutCase kLayouts[] = {
    // page 10 of 0..99 on 200 pixels of track: thumb 20, empty 180, r = 90; pos 45 -> 90 in.
    {"worked example", Values(0, 99, 10, 45), WithInner(200),
     {0, 17}, {17, 107}, {107, 127}, {127, 217}, {217, 234}},
    {"at the start", Values(0, 99, 10, 0), WithInner(200),
     {0, 17}, {17, 17}, {17, 37}, {37, 217}, {217, 234}},
    {"at the end", Values(0, 99, 10, 90), WithInner(200),
     {0, 17}, {17, 197}, {197, 217}, {217, 217}, {217, 234}},
    {"a drag shows the track position", Values(0, 99, 10, 0, 45), WithInner(200),
     {0, 17}, {17, 107}, {107, 127}, {127, 217}, {217, 234}},
    {"positions count from the minimum", Values(10, 109, 10, 55), WithInner(200),
     {0, 17}, {17, 107}, {107, 127}, {127, 217}, {217, 234}},
    {"horizontal", Values(0, 99, 10, 45), BarShape{234, kSide, false},
     {0, 17}, {17, 107}, {107, 127}, {127, 217}, {217, 234}},
    // No room between the arrows: each arrow takes half, the rest is empty.
    {"inner 0", Values(0, 99, 10, 45), BarShape{30, kSide, true},
     {0, 15}, {15, 15}, {15, 15}, {15, 15}, {15, 30}},
    {"inner 0, odd length", Values(0, 99, 10, 45), BarShape{33, kSide, true},
     {0, 16}, {16, 16}, {16, 16}, {16, 17}, {17, 33}},
    {"too short for a thumb", Values(0, 99, 10, 45), WithInner(5),
     {0, 17}, {17, 19}, {19, 19}, {19, 22}, {22, 39}},
    {"a tiny page still gets a 6-pixel thumb", Values(0, 9999, 1, 0), WithInner(200),
     {0, 17}, {17, 17}, {17, 23}, {23, 217}, {217, 234}},
    // r = 0: no thumb drawn, the track in two halves.
    {"page covers the content", Values(0, 99, 100, 0), WithInner(200),
     {0, 17}, {17, 117}, {117, 117}, {117, 217}, {217, 234}},
    // The values an edit control reports for text that fits, and worse: as if r = 0.
    {"page larger than the content", Values(0, 2, 11, 0), WithInner(200),
     {0, 17}, {17, 117}, {117, 117}, {117, 217}, {217, 234}},
    {"maximum below the minimum", Values(0, -1, 0, 0), WithInner(200),
     {0, 17}, {17, 117}, {117, 117}, {117, 217}, {217, 234}},
    {"range of 2^32 positions", Values(INT_MIN, INT_MAX, 0x80000000u, INT_MIN / 2), WithInner(200),
     {0, 17}, {17, 67}, {67, 167}, {167, 217}, {217, 234}},
    {"position past the end", Values(0, 99, 10, 5000), WithInner(200),
     {0, 17}, {17, 197}, {197, 217}, {217, 217}, {217, 234}},
    {"position before the start", Values(0, 99, 10, -5000), WithInner(200),
     {0, 17}, {17, 17}, {17, 37}, {37, 217}, {217, 234}},
    {"negative length", Values(0, 99, 10, 45), BarShape{-40, kSide, true},
     {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}},
};

TEST(ScrollGeometry, PartsLieAlongTheBarInOrder) {
  for (const LayoutCase& c : kLayouts) {
    SCOPED_TRACE(c.name);
    const Along expected[] = {c.up, c.pageUp, c.thumb, c.pageDown, c.down};
    const int parts[] = {kLineUp, kPageUp, kThumb, kPageDown, kLineDown};
    for (int i = 0; i < 5; ++i) {
      const skin::Rect box = PartRect(parts[i], c.values, c.shape);
      const Along got = AlongAxis(box, c.shape.vertical);
      EXPECT_EQ(got.start, expected[i].start) << "part " << parts[i];
      EXPECT_EQ(got.end, expected[i].end) << "part " << parts[i];
      const Along across = AlongAxis(box, !c.shape.vertical);
      EXPECT_EQ(across.start, 0);
      EXPECT_EQ(across.end, kSide) << "one square thick";
    }
    EXPECT_EQ(scrolltest::CheckScrollInvariants(c.values, c.shape), "");
  }
  EXPECT_EQ(PartRect(kNoPart, kLayouts[0].values, kLayouts[0].shape), skin::Rect{});
  EXPECT_EQ(PartRect(kThumbPositionCode, kLayouts[0].values, kLayouts[0].shape), skin::Rect{});
}

struct HitCase {
  const char* name;
  ScrollValues values;
  BarShape shape;
  int32_t t;  // along the axis
  int part;
};

const HitCase kHits[] = {
    {"before the bar", Values(0, 99, 10, 45), WithInner(200), -1, kNoPart},
    {"up arrow", Values(0, 99, 10, 45), WithInner(200), 0, kLineUp},
    {"up arrow's last pixel", Values(0, 99, 10, 45), WithInner(200), 16, kLineUp},
    {"page-up track", Values(0, 99, 10, 45), WithInner(200), 17, kPageUp},
    {"thumb's first pixel", Values(0, 99, 10, 45), WithInner(200), 107, kThumb},
    {"thumb's last pixel", Values(0, 99, 10, 45), WithInner(200), 126, kThumb},
    {"page-down track", Values(0, 99, 10, 45), WithInner(200), 127, kPageDown},
    {"down arrow", Values(0, 99, 10, 45), WithInner(200), 217, kLineDown},
    {"beyond the end", Values(0, 99, 10, 45), WithInner(200), 1000, kLineDown},
    // r = 0: nothing drawn, but the thumb covers the whole track for the hit test.
    {"r = 0, start of the track", Values(0, 99, 100, 0), WithInner(200), 17, kThumb},
    {"r = 0, end of the track", Values(0, 99, 100, 0), WithInner(200), 216, kThumb},
    {"inner 0, first half", Values(0, 99, 10, 45), BarShape{30, kSide, true}, 14, kLineUp},
    {"inner 0, second half", Values(0, 99, 10, 45), BarShape{30, kSide, true}, 15, kLineDown},
    {"horizontal bars hit along x", Values(0, 99, 10, 45), BarShape{234, kSide, false}, 110, kThumb},
};

TEST(ScrollGeometry, APointHitsThePartAlongTheAxis) {
  for (const HitCase& c : kHits) {
    SCOPED_TRACE(c.name);
    // The coordinate across the axis is never looked at.
    for (int32_t across : {-50, 0, 5, 500}) {
      const int got = c.shape.vertical ? PartAt(across, c.t, c.values, c.shape)
                                       : PartAt(c.t, across, c.values, c.shape);
      EXPECT_EQ(got, c.part) << "across " << across;
    }
  }
}

TEST(ScrollGeometry, SkinSquaresByPartStateAndDirection) {
  struct {
    int part, state;
    bool vertical;
    skin::Rect square;
  } const cases[] = {
      {kLineUp, kNormal, true, {0, 0, 17, 17}},
      {kLineDown, kHover, true, {17, 17, 34, 34}},
      {kThumb, kNormal, true, {34, 0, 51, 17}},
      {kPageUp, kNormal, true, {51, 0, 68, 17}},
      {kPageDown, kPressed, true, {51, 34, 68, 51}},
      {kLineUp, kNormal, false, {68, 0, 85, 17}},
      {kLineDown, kPressed, false, {85, 34, 102, 51}},
      {kThumb, kHover, false, {102, 17, 119, 34}},
      {kPageDown, kNormal, false, {119, 0, 136, 17}},
      {kThumbPositionCode, kNormal, true, {0, 0, 17, 17}},  // any other code: column 0
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SliceRect(c.part, c.state, kSide, c.vertical), c.square)
        << "part " << c.part << " state " << c.state << (c.vertical ? " vertical" : " horizontal");
  }
}

TEST(ScrollGeometry, ASkinWithoutHoverAndPressedRowsShowsTheNormalRow) {
  EXPECT_EQ(SkinRow(kHover, kSide, kSide), kNormal) << "the update window's skin: one row";
  EXPECT_EQ(SkinRow(kPressed, kSide, kSide), kNormal);
  EXPECT_EQ(SkinRow(kHover, kSide, 2 * kSide), kHover);
  EXPECT_EQ(SkinRow(kPressed, kSide, 2 * kSide), kNormal);
  EXPECT_EQ(SkinRow(kPressed, kSide, 3 * kSide), kPressed);
  EXPECT_EQ(SkinRow(kPressed, 0, 100), kNormal);
}

TEST(ScrollGeometry, TheCornerSquareWhereTheTwoBarsMeet) {
  const skin::Rect client{0, 0, 100, 50};
  struct {
    const char* name;
    int corner;
    int32_t skinHeight;
    skin::Rect dest, source;
  } const cases[] = {
      {"bars on the right: column 8, row 0", kBottomRight, kSide, {83, 33, 100, 50}, {136, 0, 153, 17}},
      {"bars on the left: column 8, row 1", kBottomLeft, 2 * kSide, {0, 33, 17, 50}, {136, 17, 153, 34}},
      {"bars on the left, a skin of one row", kBottomLeft, kSide, {0, 33, 17, 50}, {136, 0, 153, 17}},
      {"one bar: no corner", kNoCorner, kSide, {}, {}},
  };
  for (const auto& c : cases) {
    const CornerSquare corner = PlaceCorner(c.corner, client, kSide, c.skinHeight);
    EXPECT_EQ(corner.dest, c.dest) << c.name;
    EXPECT_EQ(corner.source, c.source) << c.name;
  }
}

TEST(ScrollGeometry, ADragMovesByTheRangeOverTheEmptyTrackAndStaysInRange) {
  struct {
    const char* name;
    ScrollValues values;
    BarShape shape;
    int32_t start, distance, expected;
  } const cases[] = {
      // 180 empty pixels for 90 positions: two pixels a position, truncated toward zero.
      {"forward", Values(0, 99, 10, 45), WithInner(200), 45, 18, 54},
      {"back", Values(0, 99, 10, 45), WithInner(200), 45, -18, 36},
      {"less than a position", Values(0, 99, 10, 45), WithInner(200), 45, -1, 45},
      {"past the start: the minimum", Values(0, 99, 10, 45), WithInner(200), 45, -1000, 0},
      {"past the end: r", Values(0, 99, 10, 45), WithInner(200), 45, 1000, 90},
      {"from a minimum of 10", Values(10, 109, 10, 55), WithInner(200), 55, -1000, 10},
      {"to the end from a minimum of 10", Values(10, 109, 10, 55), WithInner(200), 55, 1000, 100},
      {"nothing to scroll", Values(0, 99, 100, 0), WithInner(200), 0, 50, 0},
      {"page larger than the content", Values(0, 2, 11, 0), WithInner(200), 0, 50, 0},
      {"no track", Values(0, 99, 10, 45), BarShape{30, kSide, true}, 45, 10, 45},
      {"huge range, huge distance", Values(INT_MIN, INT_MAX, 0, 0), WithInner(200), 0, INT_MAX, INT_MAX},
      {"huge range, huge distance back", Values(INT_MIN, INT_MAX, 0, 0), WithInner(200), 0, INT_MIN, INT_MIN},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DragPosition(c.values, c.shape, c.start, c.distance), c.expected) << c.name;
  }
}

TEST(ScrollGeometry, TheBarIsEnabledWhenThereIsMoreThanAPage) {
  EXPECT_TRUE(HasScrollRange(0, 49, 11)) << "50 lines in 11";
  EXPECT_TRUE(HasScrollRange(0, 11, 11)) << "12 lines in 11";
  EXPECT_FALSE(HasScrollRange(0, 10, 11)) << "11 lines in 11";
  EXPECT_FALSE(HasScrollRange(0, 2, 11)) << "3 lines in 11";
  EXPECT_FALSE(HasScrollRange(0, -1, 0)) << "a maximum below the minimum is no range";
  EXPECT_FALSE(HasScrollRange(5, 5, 0)) << "one position";
  EXPECT_TRUE(HasScrollRange(INT_MIN, INT_MAX, 0xFFFFFFFFu));
}

}  // namespace
