// The ways a skin square fills a place, as lists of blits, without windows.
#include "ui/skinblits.h"

#include <gtest/gtest.h>

#include "tests/ui/skinprinters.h"

namespace skin {
namespace {

struct BlitCase {
  const char* name;
  Rect dest;
  Rect source;
  Blits blits;
};

// The scroll skin's squares are 17 pixels: column 2 the thumb, column 3 the track.
constexpr Rect kThumbSquare{34, 0, 51, 17};
constexpr Rect kTrackSquare{51, 0, 68, 17};

TEST(CopyBlits, TheSourceUnscaledCutToTheSmallerOfTheTwo) {
  const BlitCase cases[] = {
      {"same size", {10, 20, 27, 37}, kTrackSquare, {{{10, 20, 27, 37}, kTrackSquare}}},
      {"smaller place: the source's top-left part", {0, 0, 5, 4}, {51, 17, 68, 34},
       {{{0, 0, 5, 4}, {51, 17, 56, 21}}}},
      {"larger place: the rest keeps what lies beneath", {3, 2, 33, 32}, {0, 0, 13, 13},
       {{{3, 2, 16, 15}, {0, 0, 13, 13}}}},
      {"empty place", {5, 5, 5, 9}, kTrackSquare, {}},
      {"empty source", {0, 0, 10, 10}, {4, 4, 4, 8}, {}},
  };
  for (const BlitCase& c : cases) EXPECT_EQ(CopyBlits(c.dest, c.source), c.blits) << c.name;
}

TEST(StretchBlits, TheWholeSourceIntoTheWholePlace) {
  const BlitCase cases[] = {
      {"sizes differ", {0, 0, 17, 8}, kTrackSquare, {{{0, 0, 17, 8}, kTrackSquare}}},
      {"sizes agree", {0, 17, 17, 34}, kTrackSquare, {{{0, 17, 17, 34}, kTrackSquare}}},
      {"empty place", {0, 0, 0, 17}, kTrackSquare, {}},
      {"empty source", {0, 0, 17, 17}, {51, 0, 51, 17}, {}},
  };
  for (const BlitCase& c : cases) EXPECT_EQ(StretchBlits(c.dest, c.source), c.blits) << c.name;
}

TEST(ClipBlits, OnlyWhatFallsInsideTheClipBox) {
  struct ClipCase {
    const char* name;
    Blits blits;
    Rect clip;
    Blits clipped;
  };
  const Blits background{{{0, 0, 500, 409}, {0, 0, 500, 409}}};
  const ClipCase cases[] = {
      {"a status line hidden on the window's background", background, {18, 285, 478, 303},
       {{{18, 285, 478, 303}, {18, 285, 478, 303}}}},
      {"the source moves with the cut", {{{10, 10, 30, 30}, {100, 200, 120, 220}}}, {0, 15, 20, 100},
       {{{10, 15, 20, 30}, {100, 205, 110, 220}}}},
      {"a clip box that holds it all", background, {-5, -5, 600, 600}, background},
      {"a clip box beside it", background, {500, 0, 600, 409}, {}},
      {"a stretch it touches is kept whole", {{{0, 0, 17, 40}, kTrackSquare}}, {0, 30, 5, 35},
       {{{0, 0, 17, 40}, kTrackSquare}}},
      {"a stretch it misses is dropped", {{{0, 0, 17, 40}, kTrackSquare}}, {0, 40, 17, 60}, {}},
      {"of a tiled track only the copies it touches, cut",
       {{{0, 0, 17, 17}, kTrackSquare}, {{0, 17, 17, 34}, kTrackSquare}, {{0, 34, 17, 40}, {51, 0, 68, 6}}},
       {0, 20, 17, 36},
       {{{0, 20, 17, 34}, {51, 3, 68, 17}}, {{0, 34, 17, 36}, {51, 0, 68, 2}}}},
      {"an empty clip box", background, {20, 20, 20, 40}, {}},
  };
  for (const ClipCase& c : cases) EXPECT_EQ(ClipBlits(c.blits, c.clip), c.clipped) << c.name;
}

TEST(PlainCopies, WhereTheSourceHoldsNoKeyPixel) {
  constexpr std::uint32_t kKey = 0xFF00FF, kGrey = 0x808080;
  // 4 × 3, the key colour at (2, 1) only.
  PixelGrid picture{4, 3, std::vector<std::uint32_t>(12, kGrey)};
  picture.pixels[1 * 4 + 2] = kKey;
  struct PlainCase {
    const char* name;
    Blit blit;
    bool plain;
  };
  const PlainCase cases[] = {
      {"a strip beside the key pixel", {{10, 10, 14, 11}, {0, 0, 4, 1}}, true},
      {"a column beside it", {{0, 0, 1, 3}, {3, 0, 4, 3}}, true},
      {"a block over it", {{0, 0, 2, 2}, {1, 0, 3, 2}}, false},
      {"the key pixel alone", {{5, 5, 6, 6}, {2, 1, 3, 2}}, false},
      {"a stretch, whatever it holds", {{0, 0, 8, 2}, {0, 0, 4, 1}}, false},
      {"a source reaching past the picture", {{0, 0, 2, 1}, {3, 2, 5, 3}}, false},
      {"a source before its start", {{0, 0, 2, 1}, {-1, 0, 1, 1}}, false},
  };
  Blits all;
  std::vector<bool> expected;
  for (const PlainCase& c : cases) {
    EXPECT_EQ(PlainCopies({c.blit}, picture, kKey), std::vector<bool>{c.plain}) << c.name;
    all.push_back(c.blit);
    expected.push_back(c.plain);
  }
  EXPECT_EQ(PlainCopies(all, picture, kKey), expected) << "one answer per blit, in order";
  EXPECT_EQ(PlainCopies(all, PixelGrid{}, kKey), std::vector<bool>(all.size(), false)) << "pixels not known";
  PixelGrid short_of_pixels = picture;
  short_of_pixels.pixels.pop_back();
  EXPECT_EQ(PlainCopies({cases[0].blit}, short_of_pixels, kKey), std::vector<bool>{false}) << "a grid that lies";
}

TEST(TileBlits, CopiesFromTheSourcesCornerTheLastOnesCut) {
  const BlitCase cases[] = {
      {"a track longer than two squares", {0, 0, 17, 40}, kTrackSquare,
       {{{0, 0, 17, 17}, kTrackSquare}, {{0, 17, 17, 34}, kTrackSquare}, {{0, 34, 17, 40}, {51, 0, 68, 6}}}},
      {"rows and columns", {5, 5, 30, 12}, {0, 0, 10, 4},
       {{{5, 5, 15, 9}, {0, 0, 10, 4}},
        {{15, 5, 25, 9}, {0, 0, 10, 4}},
        {{25, 5, 30, 9}, {0, 0, 5, 4}},
        {{5, 9, 15, 12}, {0, 0, 10, 3}},
        {{15, 9, 25, 12}, {0, 0, 10, 3}},
        {{25, 9, 30, 12}, {0, 0, 5, 3}}}},
      {"a source larger than the place", {0, 0, 8, 4}, kTrackSquare, {{{0, 0, 8, 4}, {51, 0, 59, 4}}}},
      {"empty place", {0, 10, 17, 10}, kTrackSquare, {}},
      {"empty source: nothing (it would never advance)", {0, 0, 17, 40}, {51, 0, 68, 0}, {}},
  };
  for (const BlitCase& c : cases) EXPECT_EQ(TileBlits(c.dest, c.source), c.blits) << c.name;
}

TEST(ThumbBlits, UnscaledEndsAndATiledMiddle) {
  struct Case {
    const char* name;
    Rect dest;
    Rect source;
    bool vertical;
    Blits blits;
  };
  const Case cases[] = {
      {"vertical: 3 rows at each end, the 11 between them tiled over 14", {0, 40, 17, 60}, kThumbSquare, true,
       {{{0, 40, 17, 43}, {34, 0, 51, 3}},
        {{0, 57, 17, 60}, {34, 14, 51, 17}},
        {{0, 43, 17, 54}, {34, 3, 51, 14}},
        {{0, 54, 17, 57}, {34, 3, 51, 6}}}},
      {"horizontal: 3 columns at each end", {30, 0, 38, 17}, {102, 0, 119, 17}, false,
       {{{30, 0, 33, 17}, {102, 0, 105, 17}},
        {{35, 0, 38, 17}, {116, 0, 119, 17}},
        {{33, 0, 35, 17}, {105, 0, 107, 17}}}},
      {"the shortest thumb: ends only", {0, 17, 17, 23}, kThumbSquare, true,
       {{{0, 17, 17, 20}, {34, 0, 51, 3}}, {{0, 20, 17, 23}, {34, 14, 51, 17}}}},
      {"a square of two ends only tiles itself whole in the middle", {0, 0, 4, 10}, {0, 0, 4, 4}, true,
       {{{0, 0, 4, 2}, {0, 0, 4, 2}},
        {{0, 8, 4, 10}, {0, 2, 4, 4}},
        {{0, 2, 4, 6}, {0, 0, 4, 4}},
        {{0, 6, 4, 8}, {0, 0, 4, 2}}}},
      {"a one-pixel square has no ends", {0, 0, 1, 2}, {0, 0, 1, 1}, true,
       {{{0, 0, 1, 1}, {0, 0, 1, 1}}, {{0, 1, 1, 2}, {0, 0, 1, 1}}}},
      {"the ends keep the square's thickness", {0, 0, 20, 10}, {0, 0, 17, 17}, true,
       {{{0, 0, 17, 3}, {0, 0, 17, 3}},
        {{0, 7, 17, 10}, {0, 14, 17, 17}},
        {{0, 3, 17, 7}, {0, 3, 17, 7}},
        {{17, 3, 20, 7}, {0, 3, 3, 7}}}},
      {"no thumb", {0, 17, 17, 17}, kThumbSquare, true, {}},
  };
  for (const Case& c : cases) EXPECT_EQ(ThumbBlits(c.dest, c.source, c.vertical), c.blits) << c.name;
}

TEST(Blits, AppendKeepsTheOrderOfPainting) {
  Blits blits = StretchBlits({0, 0, 17, 17}, {0, 0, 17, 17});
  Append(blits, {});
  Append(blits, CopyBlits({0, 17, 17, 34}, {17, 0, 34, 17}));
  const Blits expected = {{{0, 0, 17, 17}, {0, 0, 17, 17}}, {{0, 17, 17, 34}, {17, 0, 34, 17}}};
  EXPECT_EQ(blits, expected);
}

TEST(FaceBlits, CopyStretchAndTile) {
  struct Case {
    const char* name;
    int mode;
    Rect target;
    Size bitmap;
    std::vector<Blit> blits;
  };
  const Case cases[] = {
      {"copy: larger bitmap is cut at the right and bottom", kFillCopy, {0, 0, 74, 20}, {79, 21},
       {{{0, 0, 74, 20}, {0, 0, 74, 20}}}},
      {"copy: smaller bitmap leaves the rest", kFillCopy, {0, 0, 20, 20}, {13, 13},
       {{{0, 0, 13, 13}, {0, 0, 13, 13}}}},
      {"copy at an offset", kFillCopy, {5, 3, 15, 8}, {13, 13}, {{{5, 3, 15, 8}, {0, 0, 10, 5}}}},
      {"stretch: the whole bitmap into the whole target", kFillStretch, {2, 2, 42, 14}, {10, 6},
       {{{2, 2, 42, 14}, {0, 0, 10, 6}}}},
      {"tile: rows top to bottom, last tile and row cut", kFillTile, {0, 0, 25, 14}, {10, 6},
       {{{0, 0, 10, 6}, {0, 0, 10, 6}},
        {{10, 0, 20, 6}, {0, 0, 10, 6}},
        {{20, 0, 25, 6}, {0, 0, 5, 6}},
        {{0, 6, 10, 12}, {0, 0, 10, 6}},
        {{10, 6, 20, 12}, {0, 0, 10, 6}},
        {{20, 6, 25, 12}, {0, 0, 5, 6}},
        {{0, 12, 10, 14}, {0, 0, 10, 2}},
        {{10, 12, 20, 14}, {0, 0, 10, 2}},
        {{20, 12, 25, 14}, {0, 0, 5, 2}}}},
      {"tile: exact fit has no cut tile", kFillTile, {4, 4, 24, 10}, {10, 6},
       {{{4, 4, 14, 10}, {0, 0, 10, 6}}, {{14, 4, 24, 10}, {0, 0, 10, 6}}}},
      {"tile: bitmap larger than the target", kFillTile, {0, 0, 8, 4}, {10, 6}, {{{0, 0, 8, 4}, {0, 0, 8, 4}}}},
      {"empty target", kFillStretch, {5, 5, 5, 9}, {10, 6}, {}},
      {"empty bitmap", kFillTile, {0, 0, 10, 10}, {0, 0}, {}},
  };
  for (const Case& c : cases) EXPECT_EQ(FaceBlits(c.mode, c.target, c.bitmap), c.blits) << c.name;
}

}  // namespace
}  // namespace skin
