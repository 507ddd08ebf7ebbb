// Geometry and state rules of the skinned controls, kept free of Windows so that they build and
// are tested on the host as well. The controls turn these results into GDI calls.
#pragma once

#include <string>
#include <vector>

#include "ui/skinblits.h"
#include "ui/skinrect.h"

namespace skin {

// ---- Skin button ----

enum ButtonKind { kPushButton = 0, kCheckBox = 2, kRadioButton = 4 };

// The kind a button takes from its window style: only the low byte (the button type) counts.
// An automatic check box (3) and anything else with both low bits set, owner-drawn (11) included,
// is a check box; an automatic radio button (9) a radio button; the rest push buttons.
int ButtonKindFromStyle(unsigned long style);

// The style of an attached button: its type becomes owner-drawn, every other bit stays.
unsigned long OwnerDrawStyle(unsigned long style);

enum class Face { kNormal, kDown, kDisabled, kOver, kFocus, kButtonFaceFill };
enum class Edge { kRaised, kSunken };

struct FacesLoaded {
  bool normal = false;
  bool down = false;
  bool disabled = false;
  bool over = false;
  bool focus = false;
};

struct ButtonLook {
  bool disabled = false;  // ODS_DISABLED
  bool selected = false;  // ODS_SELECTED: the platform's pushed state
  bool checked = false;   // the button's own check state
  bool hover = false;
  bool focused = false;  // ODS_FOCUS
};

struct FaceChoice {
  Face face;
  Edge edge;
  bool captionPushed;  // the caption moves one pixel right and down
};

FaceChoice ChooseFace(const ButtonLook& look, const FacesLoaded& loaded);

// What LoadFaces stores.
short ClampFillMode(short fillMode);
short ClampTextInset(short inset);
// The resource the disabled face is loaded from; 0 for none.
unsigned DisabledFaceId(unsigned normal, unsigned disabled);

// The caption's rectangle inside the item rectangle: 2 pixels plus the inset off each side.
Rect CaptionRect(const Rect& item, short inset, bool pushed);

// The check state after a click (or the space key) on a button of `kind`, and after BM_SETCHECK.
bool CheckAfterClick(int kind, bool checked);
bool CheckAfterSetCheck(int kind, bool requested);

// ---- Image progress bar ----

// Position and range as the part done and the whole, exact integers: the fraction is part/whole.
struct ProgressValue {
  long long part = 0;
  long long whole = 0;
};

ProgressValue ProgressValueOf(int lower, int upper, int position);

// trunc(length × fraction), computed exactly. An empty range (whole = 0) is a fraction of 0.
int ScaleByFraction(long long length, const ProgressValue& value);

// trunc(fraction × 100) and its caption, "57%".
int ProgressPercent(const ProgressValue& value);
std::string PercentText(const ProgressValue& value);

// Blocks are drawn when the block piece is loaded and some of the range is done.
bool ShowsBlocks(bool blockLoaded, const ProgressValue& value);

// A piece (0 start cap, 1 middle, 2 end cap) drawn from its full size into `dest`.
struct PiecePlacement {
  int piece;
  Rect dest;
  bool operator==(const PiecePlacement& o) const { return piece == o.piece && dest == o.dest; }
};

// The background from three pieces in the control's area.
std::vector<PiecePlacement> BackgroundPieces(const Rect& area, bool horizontal, const Size pieces[3]);

struct BlockRow {
  int n = 0;      // length of the filled part
  int count = 0;  // blocks drawn
  int left = 0;   // x of the first block
  int top = 0;    // y of every block
  int pitch = 1;  // block width plus the one-pixel gap
  Size block;
  Rect filled;  // where the caption takes the colour of the bar

  Rect BlockAt(int i) const {
    return Rect{left + i * pitch, top, left + i * pitch + block.cx, top + block.cy};
  }
};

// The row of blocks for `value`, in `area` (the control's client rectangle), with a whole
// background `backgroundWidth` wide. The filled part ends at x = n, n read as a coordinate.
BlockRow LayoutBlockRow(const Rect& area, int backgroundWidth, Size block, const ProgressValue& value);

struct ThreePieceBar {
  std::vector<PiecePlacement> pieces;
  Rect filled;  // the middle piece
};

ThreePieceBar LayoutThreePieceBar(const Rect& area, bool horizontal, const Size pieces[3],
                                  const ProgressValue& value);

}  // namespace skin
