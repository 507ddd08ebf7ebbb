// How the host tests print skin rectangles and blits when a comparison fails.
#pragma once
#include <ostream>

#include "ui/skinblits.h"
#include "ui/skinrect.h"

namespace skin {

inline std::ostream& operator<<(std::ostream& out, const Rect& r) {
  return out << "{" << r.left << "," << r.top << "," << r.right << "," << r.bottom << "}";
}
inline std::ostream& operator<<(std::ostream& out, const Blit& b) { return out << b.dest << "<-" << b.source; }

}  // namespace skin
