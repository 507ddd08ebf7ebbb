#include "ui/imageprogressctrl.h"

#include <commctrl.h>

#include <string>

#include "framework/resstring.h"
#include "framework/winapp.h"
#include "resources/resource.h"
#include "ui/skinpaint.h"

namespace {

constexpr int kWholePiece = 3;

skin::Size SizeOf(const BITMAP& info) { return skin::Size{info.bmWidth, info.bmHeight}; }
skin::Rect WholeOf(const BITMAP& info) { return skin::Rect{0, 0, info.bmWidth, info.bmHeight}; }

void LoadPiece(framework::UniqueBitmap& slot, BITMAP& info, UINT bitmapId) {
  info = BITMAP{};
  slot.Reset(framework::LoadResBitmap(bitmapId));
  if (slot && !::GetObjectA(slot.Get(), sizeof info, &info)) {
    slot.Reset();
    info = BITMAP{};
  }
}

// Draws a piece whole into `dest`: copied when the sizes agree, stretched otherwise.
void DrawPiece(HDC dc, const framework::UniqueBitmap& bitmap, const BITMAP& info, const skin::Rect& dest) {
  skin::PaintBlits(dc, static_cast<HBITMAP>(bitmap.Get()), skin::StretchBlits(dest, WholeOf(info)));
}

void FillSolid(HDC dc, const RECT& r, COLORREF colour) {
  const COLORREF old = ::SetBkColor(dc, colour);
  ::ExtTextOutA(dc, 0, 0, ETO_OPAQUE, &r, nullptr, 0, nullptr);
  ::SetBkColor(dc, old);
}

// A frame one pixel wide: `topLeft` on the top and left lines, `bottomRight` on the others.
void Draw3dRect(HDC dc, const RECT& r, COLORREF topLeft, COLORREF bottomRight) {
  const int x = r.left, y = r.top, cx = r.right - r.left, cy = r.bottom - r.top;
  FillSolid(dc, RECT{x, y, x + cx - 1, y + 1}, topLeft);
  FillSolid(dc, RECT{x, y, x + 1, y + cy - 1}, topLeft);
  FillSolid(dc, RECT{x + cx - 1, y, x + cx, y + cy}, bottomRight);
  FillSolid(dc, RECT{x, y + cy - 1, x + cx, y + cy}, bottomRight);
}

}  // namespace

CImageProgressCtrl::CImageProgressCtrl()
    : m_crHighlight(::GetSysColor(COLOR_BTNHIGHLIGHT)),
      m_crShadow(::GetSysColor(COLOR_BTNSHADOW)),
      m_crFace(::GetSysColor(COLOR_BTNFACE)),
      m_crBar(::GetSysColor(COLOR_ACTIVECAPTION)),
      m_crBarText(RGB(0, 0, 0)) {
  int pixelsPerInch = 96;
  {
    framework::ScopedWindowDC screen(nullptr);
    if (screen.Get()) pixelsPerInch = ::GetDeviceCaps(screen.Get(), LOGPIXELSX);
  }
  m_font.Reset(::CreateFontA(-::MulDiv(8, pixelsPerInch, 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                             DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                             DEFAULT_PITCH, "굴림체"));
}

CImageProgressCtrl::~CImageProgressCtrl() = default;

void CImageProgressCtrl::SetBkBitmap(int part, UINT bitmapId) {
  if (part < 0 || part > 3) return;
  LoadPiece(m_bmpBk[part], m_infoBk[part], bitmapId);
}

void CImageProgressCtrl::SetBarBitmap(int part, UINT bitmapId) {
  if (part < 0 || part > 3) return;
  LoadPiece(m_bmpBar[part], m_infoBar[part], bitmapId);
  if (part == kWholePiece) m_nBlockId = bitmapId;
}

void CImageProgressCtrl::PreSubclassWindow() {
  m_bHorizontal = (GetStyle() & PBS_VERTICAL) ? 0 : 1;
  m_rcClient = GetClientRect();
  CProgressCtrl::PreSubclassWindow();
}

skin::ProgressValue CImageProgressCtrl::ReadValue() const {
  PBRANGE range{};
  SendMessage(PBM_GETRANGE, TRUE, reinterpret_cast<LPARAM>(&range));
  const int position = static_cast<int>(SendMessage(PBM_GETPOS));
  return skin::ProgressValueOf(range.iLow, range.iHigh, position);
}

void CImageProgressCtrl::DrawBackground(HDC dc) const {
  const skin::Rect area = skin::FromRECT(m_rcClient);
  if (m_bmpBk[kWholePiece]) {
    const BITMAP& info = m_infoBk[kWholePiece];
    DrawPiece(dc, m_bmpBk[kWholePiece], info,
              skin::Rect{area.left, area.top, area.left + info.bmWidth, area.top + info.bmHeight});
    return;
  }
  if (!m_bmpBk[0] || !m_bmpBk[1] || !m_bmpBk[2]) {
    Draw3dRect(dc, m_rcClient, m_crShadow, m_crHighlight);
    FillSolid(dc, skin::ToRECT(skin::Deflate(area, 1)), m_crFace);
    return;
  }
  const skin::Size sizes[3] = {SizeOf(m_infoBk[0]), SizeOf(m_infoBk[1]), SizeOf(m_infoBk[2])};
  for (const skin::PiecePlacement& piece : skin::BackgroundPieces(area, m_bHorizontal != 0, sizes))
    DrawPiece(dc, m_bmpBk[piece.piece], m_infoBk[piece.piece], piece.dest);
}

skin::Rect CImageProgressCtrl::DrawBar(HDC dc, const skin::ProgressValue& value) const {
  const skin::Rect area = skin::FromRECT(m_rcClient);
  if (skin::ShowsBlocks(m_bmpBar[kWholePiece].IsValid(), value)) {
    const BITMAP& block = m_infoBar[kWholePiece];
    const skin::BlockRow row =
        skin::LayoutBlockRow(area, m_infoBk[kWholePiece].bmWidth, SizeOf(block), value);
    skin::Blits blits;
    for (int i = 0; i < row.count; ++i) skin::Append(blits, skin::CopyBlits(row.BlockAt(i), WholeOf(block)));
    skin::PaintBlits(dc, static_cast<HBITMAP>(m_bmpBar[kWholePiece].Get()), blits);
    return row.filled;
  }
  if (!m_bmpBar[0] || !m_bmpBar[1] || !m_bmpBar[2]) return skin::Rect{};
  const skin::Size sizes[3] = {SizeOf(m_infoBar[0]), SizeOf(m_infoBar[1]), SizeOf(m_infoBar[2])};
  const skin::ThreePieceBar bar = skin::LayoutThreePieceBar(area, m_bHorizontal != 0, sizes, value);
  for (const skin::PiecePlacement& piece : bar.pieces)
    DrawPiece(dc, m_bmpBar[piece.piece], m_infoBar[piece.piece], piece.dest);
  return bar.filled;
}

void CImageProgressCtrl::DrawCaption(HDC dc, const skin::ProgressValue& value,
                                     const skin::Rect& filled) const {
  const std::string text = skin::PercentText(value);
  const HGDIOBJ oldFont = ::SelectObject(dc, m_font.Get());
  ::SetBkMode(dc, TRANSPARENT);
  RECT area = m_rcClient;
  ::SetTextColor(dc, m_crBar);
  ::DrawTextA(dc, text.c_str(), -1, &area, DT_CENTER | DT_VCENTER | DT_SINGLELINE);

  // A rectangle with its edges crossed would be turned around by the region: it is empty.
  const framework::UniqueGdiObject clip(
      filled.IsEmpty() ? ::CreateRectRgn(0, 0, 0, 0)
                       : ::CreateRectRgn(filled.left, filled.top, filled.right, filled.bottom));
  if (clip) {
    ::SelectClipRgn(dc, static_cast<HRGN>(clip.Get()));
    area = m_rcClient;
    ::SetTextColor(dc, m_crBarText);
    ::DrawTextA(dc, text.c_str(), -1, &area, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    ::SelectClipRgn(dc, nullptr);
  }
  if (oldFont) ::SelectObject(dc, oldFont);
}

void CImageProgressCtrl::PaintTo(HDC target) {
  framework::CMemoryCanvas canvas;
  PaintThrough(target, canvas);
}

void CImageProgressCtrl::PaintThrough(HDC target, framework::CMemoryCanvas& canvas) {
  const int width = m_rcClient.right - m_rcClient.left;
  const int height = m_rcClient.bottom - m_rcClient.top;
  if (width <= 0 || height <= 0) return;
  const HDC dc = canvas.Prepare(target, width, height);
  if (!dc) return;
  ::BitBlt(dc, 0, 0, width, height, target, 0, 0, SRCCOPY);

  DrawBackground(dc);
  // The block style always holds: a slot 3 set to another picture takes the block again.
  if (m_nBlockId != IDB_PROGRESS_BLOCK) SetBarBitmap(kWholePiece, IDB_PROGRESS_BLOCK);
  const skin::ProgressValue value = ReadValue();
  const skin::Rect filled = DrawBar(dc, value);
  DrawCaption(dc, value, filled);

  ::BitBlt(target, 0, 0, width, height, dc, 0, 0, SRCCOPY);
}

LRESULT CImageProgressCtrl::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case PBM_SETPOS:
    case PBM_DELTAPOS:
    case PBM_STEPIT: {
      // The platform repaints at once on a change, and a downloader moving the bar from its own
      // thread waits for that paint on every step.
      m_bPaintLater = true;
      const LRESULT result = Default();
      m_bPaintLater = false;
      m_bMoved = true;
      return result;
    }
    case WM_PAINT: {
      // Left invalid: the paint comes again once the thread's queue is empty.
      if (m_bPaintLater) return 0;
      // Moves come a hundred times per file: they are shown at most every kMoveRepaintMs, the
      // last one always.
      const DWORD now = ::GetTickCount();
      if (m_bMoved && now - m_dwLastPaint < kMoveRepaintMs) {
        if (!m_bRepaintTimer)
          m_bRepaintTimer = SetTimer(kRepaintTimer, kMoveRepaintMs - (now - m_dwLastPaint)) != 0;
        if (m_bRepaintTimer) {
          ::ValidateRect(m_hWnd, nullptr);
          return 0;
        }
      }
      // Counted from the paint's start, so a caller at the same pace is never held back.
      m_dwLastPaint = now;
      framework::ScopedPaintDC dc(m_hWnd);
      PaintThrough(dc.Get(), m_paintCanvas);
      m_bMoved = false;
      return 0;
    }
    case WM_TIMER:
      if (wParam == kRepaintTimer) {
        KillTimer(kRepaintTimer);
        m_bRepaintTimer = false;
        m_dwLastPaint = ::GetTickCount() - kMoveRepaintMs;
        Invalidate(FALSE);
        return 0;
      }
      return CProgressCtrl::WindowProc(message, wParam, lParam);
    case WM_ERASEBKGND:
      return TRUE;
    case WM_NCPAINT:
      return 0;
    default:
      return CProgressCtrl::WindowProc(message, wParam, lParam);
  }
}
