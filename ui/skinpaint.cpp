#include "ui/skinpaint.h"

#include <utility>
#include <vector>

#include "framework/dibsection.h"
#include "framework/scopedhandle.h"

namespace skin {

namespace {

// Only the part inside the target's clip box: a keyed transfer costs its whole size whatever the
// clip, and a window repainting a strip needs only that strip.
Blits InsideClip(HDC target, const Blits& blits) {
  RECT clip = {};
  return ::GetClipBox(target, &clip) == ERROR ? blits : ClipBlits(blits, FromRECT(clip));
}

// `plain`, when given, tells which blits a plain copy paints alike despite the key.
BOOL Perform(HDC target, HBITMAP source, const Blits& blits, const COLORREF* key,
             const std::vector<bool>* plain = nullptr) {
  if (blits.empty()) return TRUE;
  framework::UniqueMemoryDC dc(::CreateCompatibleDC(target));
  if (!dc || !source) return FALSE;
  framework::ScopedSelectObject selected(dc.Get(), source);
  const int oldMode = ::SetStretchBltMode(target, COLORONCOLOR);
  for (size_t i = 0; i < blits.size(); ++i) {
    const Rect& d = blits[i].dest;
    const Rect& s = blits[i].source;
    if (d.IsEmpty() || s.IsEmpty()) continue;
    if (key && !(plain && i < plain->size() && (*plain)[i]))
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

BOOL PaintBlits(HDC target, HBITMAP source, const Blits& blits) {
  return Perform(target, source, InsideClip(target, blits), nullptr);
}

BOOL PaintBlitsKeyed(HDC target, HBITMAP source, const Blits& blits, COLORREF key) {
  return Perform(target, source, InsideClip(target, blits), &key);
}

BOOL PaintBlitsKeyed(HDC target, HBITMAP source, const PixelGrid& pixels, const Blits& blits, COLORREF key) {
  const std::uint32_t word = (static_cast<std::uint32_t>(GetRValue(key)) << 16) |
                             (static_cast<std::uint32_t>(GetGValue(key)) << 8) | GetBValue(key);
  // Cut first: a strip away from the key colour's corners is then a plain copy.
  const Blits inside = InsideClip(target, blits);
  const std::vector<bool> plain = PlainCopies(inside, pixels, word);
  return Perform(target, source, inside, &key, &plain);
}

PixelGrid ReadPixels(HBITMAP bitmap) {
  PixelGrid grid;
  BITMAP info = {};
  if (!bitmap || !::GetObjectA(bitmap, sizeof info, &info) || info.bmWidth <= 0 || info.bmHeight <= 0) return grid;
  BITMAPINFO format = framework::TopDownDibFormat(info.bmWidth, info.bmHeight);
  std::vector<std::uint32_t> pixels(static_cast<size_t>(info.bmWidth) * static_cast<size_t>(info.bmHeight));
  const framework::ScopedWindowDC screen(nullptr);
  if (::GetDIBits(screen.Get(), bitmap, 0, static_cast<UINT>(info.bmHeight), pixels.data(), &format,
                  DIB_RGB_COLORS) != info.bmHeight)
    return grid;
  for (std::uint32_t& pixel : pixels) pixel &= 0x00FFFFFF;
  grid.width = info.bmWidth;
  grid.height = info.bmHeight;
  grid.pixels = std::move(pixels);
  return grid;
}

}  // namespace skin
