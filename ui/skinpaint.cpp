#include "ui/skinpaint.h"

#include "framework/scopedhandle.h"

namespace skin {

namespace {

BOOL Perform(HDC target, HBITMAP source, const Blits& blits, const COLORREF* key) {
  if (blits.empty()) return TRUE;
  framework::UniqueMemoryDC dc(::CreateCompatibleDC(target));
  if (!dc || !source) return FALSE;
  framework::ScopedSelectObject selected(dc.Get(), source);
  const int oldMode = ::SetStretchBltMode(target, COLORONCOLOR);
  for (const Blit& blit : blits) {
    const Rect& d = blit.dest;
    const Rect& s = blit.source;
    if (d.IsEmpty() || s.IsEmpty()) continue;
    if (key)
      ::TransparentBlt(target, d.left, d.top, d.Width(), d.Height(), dc.Get(), s.left, s.top, s.Width(),
                       s.Height(), *key);
    else if (d.Width() == s.Width() && d.Height() == s.Height())
      ::BitBlt(target, d.left, d.top, d.Width(), d.Height(), dc.Get(), s.left, s.top, SRCCOPY);
    else
      ::StretchBlt(target, d.left, d.top, d.Width(), d.Height(), dc.Get(), s.left, s.top, s.Width(),
                   s.Height(), SRCCOPY);
  }
  if (oldMode) ::SetStretchBltMode(target, oldMode);
  return TRUE;
}

}  // namespace

RECT ToRECT(const Rect& r) { return RECT{r.left, r.top, r.right, r.bottom}; }

Rect FromRECT(const RECT& r) {
  return Rect{static_cast<int>(r.left), static_cast<int>(r.top), static_cast<int>(r.right),
              static_cast<int>(r.bottom)};
}

BOOL PaintBlits(HDC target, HBITMAP source, const Blits& blits) { return Perform(target, source, blits, nullptr); }

BOOL PaintBlitsKeyed(HDC target, HBITMAP source, const Blits& blits, COLORREF key) {
  return Perform(target, source, blits, &key);
}

}  // namespace skin
