#include "ui/xskinbutton.h"

#include "framework/resstring.h"

#include <windowsx.h>

#include <algorithm>
#include <string>
#include <vector>

#include "framework/winapp.h"
#include "ui/skinpaint.h"
#include "ui/skinrules.h"

namespace {

constexpr WORD kHelpHandCursor = 106;

void FillButtonFace(HDC dc, const RECT& r) {
  ::FillRect(dc, &r, ::GetSysColorBrush(COLOR_BTNFACE));
}

}  // namespace

CxSkinButton::CxSkinButton() : m_crCaption(::GetSysColor(COLOR_BTNTEXT)) {}

CxSkinButton::~CxSkinButton() = default;

void CxSkinButton::LoadFaces(UINT normal, UINT pressed, UINT hover, UINT disabled, UINT focus,
                             UINT /*mask*/, short fillMode, short edge, short inset) {
  m_bmpNormal.Reset(framework::LoadResBitmap(normal));
  m_bmpDown.Reset(framework::LoadResBitmap(pressed));
  m_bmpOver.Reset(framework::LoadResBitmap(hover));
  m_bmpFocus.Reset(framework::LoadResBitmap(focus));
  m_bmpDisabled.Reset(framework::LoadResBitmap(skin::DisabledFaceId(normal, disabled)));
  m_nFillMode = skin::ClampFillMode(fillMode);
  m_bEdge = edge;
  m_nTextInset = skin::ClampTextInset(inset);
}

HCURSOR CxSkinButton::LoadHelpHandCursor() {
  char szPath[MAX_PATH];
  const UINT length = ::GetWindowsDirectoryA(szPath, sizeof szPath);
  if (length == 0 || length >= sizeof szPath) return nullptr;
  const std::string strPath = std::string(szPath, length) + "\\winhlp32.exe";
  // Only its resources are wanted: read as a data file, no code of it is mapped or run.
  framework::UniqueModule module(::LoadLibraryExA(strPath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
  if (!module) return nullptr;
  const HCURSOR cursor = ::LoadCursorA(module.Get(), MAKEINTRESOURCEA(kHelpHandCursor));
  return cursor ? static_cast<HCURSOR>(::CopyIcon(cursor)) : nullptr;
}

void CxSkinButton::PreSubclassWindow() {
  const DWORD style = GetStyle();
  m_nKind = skin::ButtonKindFromStyle(style);
  // One copy for every button: the file is read once per process.
  static const HCURSOR s_hHelpHand = LoadHelpHandCursor();
  if (!m_hHandCursor) m_hHandCursor = s_hHelpHand;
  CButton::PreSubclassWindow();
  ::SetWindowLongA(m_hWnd, GWL_STYLE, static_cast<LONG>(skin::OwnerDrawStyle(style)));
}

BOOL CxSkinButton::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  if (message != WM_DRAWITEM || !lParam) return FALSE;
  DrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
  *pResult = TRUE;
  return TRUE;
}

bool CxSkinButton::IsPushed() const { return (SendMessage(BM_GETSTATE) & BST_PUSHED) != 0; }

bool CxSkinButton::IsUnder(POINT screenPoint) const { return ::WindowFromPoint(screenPoint) == m_hWnd; }

void CxSkinButton::PaintFace(HDC dc, HBITMAP face, const RECT& r) const {
  BITMAP info{};
  if (!::GetObjectA(face, sizeof info, &info)) return;
  const skin::Size size{info.bmWidth, info.bmHeight};
  skin::PaintBlits(dc, face, skin::FaceBlits(m_nFillMode, skin::FromRECT(r), size));
}

void CxSkinButton::DrawItem(const DRAWITEMSTRUCT& item) {
  // While held, the pushed look follows the pointer; the platform repaints after the change.
  if (m_bHeld && m_hWnd && ::GetCapture() == m_hWnd) {
    POINT cursor{};
    if (::GetCursorPos(&cursor)) {
      const bool over = IsUnder(cursor);
      const bool pushed = IsPushed();
      if (over && !pushed) {
        SendMessage(BM_SETSTATE, TRUE);
        return;
      }
      if (!over && pushed) {
        SendMessage(BM_SETSTATE, FALSE);
        return;
      }
    }
  }

  const HDC dc = item.hDC;
  const RECT& r = item.rcItem;
  const int saved = ::SaveDC(dc);
  ::SetBkMode(dc, TRANSPARENT);

  skin::ButtonLook look;
  look.disabled = (item.itemState & ODS_DISABLED) != 0;
  look.selected = (item.itemState & ODS_SELECTED) != 0;
  look.checked = m_bChecked;
  look.hover = m_bHover;
  look.focused = (item.itemState & ODS_FOCUS) != 0;
  skin::FacesLoaded loaded;
  loaded.normal = m_bmpNormal.IsValid();
  loaded.down = m_bmpDown.IsValid();
  loaded.disabled = m_bmpDisabled.IsValid();
  loaded.over = m_bmpOver.IsValid();
  loaded.focus = m_bmpFocus.IsValid();
  const skin::FaceChoice choice = skin::ChooseFace(look, loaded);

  HGDIOBJ face = nullptr;
  switch (choice.face) {
    case skin::Face::kNormal: face = m_bmpNormal.Get(); break;
    case skin::Face::kDown: face = m_bmpDown.Get(); break;
    case skin::Face::kDisabled: face = m_bmpDisabled.Get(); break;
    case skin::Face::kOver: face = m_bmpOver.Get(); break;
    case skin::Face::kFocus: face = m_bmpFocus.Get(); break;
    case skin::Face::kButtonFaceFill: break;
  }
  if (face)
    PaintFace(dc, static_cast<HBITMAP>(face), r);
  else
    FillButtonFace(dc, r);
  if (m_bEdge) {
    RECT edge = r;
    ::DrawEdge(dc, &edge, choice.edge == skin::Edge::kSunken ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);
  }

  char szCaption[256] = "";
  const int length = item.hwndItem ? ::GetWindowTextA(item.hwndItem, szCaption, sizeof szCaption) : 0;
  if (length > 0) {
    RECT text = skin::ToRECT(skin::CaptionRect(skin::FromRECT(r), m_nTextInset, choice.captionPushed));
    ::SetTextColor(dc, m_crCaption);
    ::DrawTextA(dc, szCaption, length, &text, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  }
  ::RestoreDC(dc, saved);
}

void CxSkinButton::SetCheck(bool requested) {
  m_bChecked = skin::CheckAfterSetCheck(m_nKind, requested);
  if (m_nKind == skin::kRadioButton && m_bChecked && m_hWnd && ::GetParent(m_hWnd)) PostGroupUncheck();
  Invalidate();
}

void CxSkinButton::PostGroupUncheck() {
  const HWND parent = ::GetParent(m_hWnd);
  // The walk skips hidden and disabled items, so it never comes back to a button that is one of
  // them: stop at the first item met twice.
  std::vector<HWND> met;
  HWND item = m_hWnd;
  for (;;) {
    item = ::GetNextDlgGroupItem(parent, item, FALSE);
    if (!item || item == m_hWnd) break;
    if (std::find(met.begin(), met.end(), item) != met.end()) break;
    met.push_back(item);
    ::PostMessageA(item, WM_GROUP_UNCHECK, 0, 0);
  }
}

void CxSkinButton::ToggleByUser() {
  if (m_nKind == skin::kPushButton) return;
  SendMessage(BM_SETCHECK, skin::CheckAfterClick(m_nKind, m_bChecked) ? 1 : 0);
}

LRESULT CxSkinButton::OnMouseMove(LPARAM lParam) {
  ::SetCursor(::LoadCursor(nullptr, IDC_HAND));
  if (m_bHeld && ::GetCapture() == m_hWnd) {
    POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    ::ClientToScreen(m_hWnd, &point);
    const bool over = IsUnder(point);
    if (over != IsPushed()) {
      SendMessage(BM_SETSTATE, over ? TRUE : FALSE);
      Invalidate();
    }
  } else if (!m_bHover) {
    TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, m_hWnd, 0};
    if (::_TrackMouseEvent(&track)) {
      m_bHover = true;
      Invalidate();
    }
  }
  return Default();
}

LRESULT CxSkinButton::OnLButtonDown() {
  if (m_bHover) {
    TRACKMOUSEEVENT cancel{sizeof cancel, TME_CANCEL | TME_LEAVE, m_hWnd, 0};
    if (::_TrackMouseEvent(&cancel)) m_bHover = false;
  }
  const LRESULT result = Default();
  m_bHeld = true;
  return result;
}

LRESULT CxSkinButton::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ERASEBKGND:
      return TRUE;
    case WM_MOUSEMOVE:
      return OnMouseMove(lParam);
    case WM_MOUSELEAVE:
      m_bHover = false;
      Invalidate();
      return 0;
    case WM_LBUTTONDOWN:
      return OnLButtonDown();
    case WM_LBUTTONDBLCLK:
      // A double click is a second press.
      return SendMessage(WM_LBUTTONDOWN, wParam, lParam);
    case WM_LBUTTONUP: {
      ::SetCursor(m_hHandCursor);
      POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      ::ClientToScreen(m_hWnd, &point);
      if (IsUnder(point)) ToggleByUser();
      m_bHeld = false;
      return Default();
    }
    case WM_KILLFOCUS:
      if (::GetCapture() == m_hWnd) {
        ::ReleaseCapture();
        m_bHeld = false;
      }
      return Default();
    case WM_KEYDOWN:
      if (wParam == VK_SPACE) ToggleByUser();
      return Default();
    case BM_SETCHECK:
      SetCheck(wParam != 0);
      return 0;
    case BM_GETCHECK:
      return m_bChecked ? 1 : 0;
    case WM_GROUP_UNCHECK:
      if (m_bChecked) {
        m_bChecked = false;
        Invalidate();
      }
      return 0;
    default:
      return CButton::WindowProc(message, wParam, lParam);
  }
}
