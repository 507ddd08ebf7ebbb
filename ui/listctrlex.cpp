#include "ui/listctrlex.h"

#include <windowsx.h>

#include "framework/winapp.h"
#include "resources/resource.h"
#include "ui/startbuttonhost.h"

namespace {

// The rows' images 0 to 3.
constexpr UINT kRowImages[] = {IDI_ROW_PROGRAM, IDI_ROW_FILTER, IDI_ROW_SERVERLIST, IDI_ROW_SPARE};

void ShowRowFaces(CxSkinButton& button, bool selected) {
  const UINT face = selected ? IDB_ROW_CHECKED : IDB_ROW_UNCHECKED;
  button.LoadFaces(face, face, face, IDB_ROW_LOCKED, 0, 0, 0, 0, 0);
}

CxSkinButton* StartButton() {
  framework::CWinApp* app = framework::GetApp();
  auto* host = dynamic_cast<IStartButtonHost*>(app);
  return host ? host->GetStartButton() : nullptr;
}

}  // namespace

CListCtrlEx::CListCtrlEx() = default;

CListCtrlEx::~CListCtrlEx() {
  m_rowButtons.clear();
  // The image list goes with this object; a window that outlives it must not keep using it.
  if (m_hWnd && m_imageList) SetImageList(nullptr, LVSIL_SMALL);
}

void CListCtrlEx::PreSubclassWindow() {
  CListCtrl::PreSubclassWindow();
  // Report view, single selection. The list shares its image list rather than destroying it:
  // this object owns it.
  ModifyStyle(LVS_TYPEMASK | LVS_SINGLESEL, LVS_REPORT | LVS_SINGLESEL | LVS_SHAREIMAGELISTS);
  InsertColumn(0, "파일명", LVCFMT_LEFT, 200);
  InsertColumn(1, "버튼", LVCFMT_LEFT, 20);

  // 23 pixels high: the image height sets the row height.
  m_imageList.Reset(::ImageList_Create(16, 23, ILC_COLORDDB | ILC_MASK, 0, 1));
  if (!m_imageList) return;
  ::ImageList_SetBkColor(m_imageList.Get(), CLR_NONE);
  const HINSTANCE instance = framework::GetResourceHandle();
  for (UINT id : kRowImages) {
    const HICON icon = ::LoadIconA(instance, MAKEINTRESOURCEA(id));
    if (icon) ::ImageList_AddIcon(m_imageList.Get(), icon);
  }
  SetImageList(m_imageList.Get(), LVSIL_SMALL);
}

void CListCtrlEx::AddItem(std::string text, int image, BOOL locked, BOOL checked) {
  const int n = GetItemCount();
  InsertItem(n, text, image);

  RECT rc{};
  GetSubItemRect(n, 1, LVIR_ICON, &rc);
  rc.right = rc.left + 20;
  rc.top += 3;

  auto button = std::make_unique<CxSkinButton>();
  button->Create("BUTTON", "", WS_CHILD | WS_VISIBLE, rc, this, kFirstButtonId + n);
  ShowRowFaces(*button, checked != FALSE);
  button->m_nRowChecked = checked ? 1 : 0;
  button->m_nRowLocked = 0;
  if (locked) {
    button->m_nRowLocked = 1;
    button->EnableWindow(FALSE);
  }
  m_rowButtons.push_back(std::move(button));
}

void CListCtrlEx::AddHiddenItem() {
  const int n = GetItemCount();
  auto button = std::make_unique<CxSkinButton>();
  button->Create("BUTTON", "", WS_CHILD | WS_DISABLED, RECT{0, 0, 0, 0}, this, kFirstButtonId + n);
  button->m_nRowChecked = 1;
  m_rowButtons.push_back(std::move(button));
}

BOOL CListCtrlEx::IsAnyChecked() const {
  for (const auto& button : m_rowButtons)
    if (button->m_nRowChecked == 1) return TRUE;
  return FALSE;
}

void CListCtrlEx::UpdateStartButton() {
  CxSkinButton* start = StartButton();
  if (!start) return;
  if (IsAnyChecked())
    start->LoadFaces(IDB_START_UPDATE_NORMAL, IDB_START_UPDATE_PRESSED, IDB_START_UPDATE_HOVER,
                     IDB_START_UPDATE_NORMAL, 0, 0, 0, 0, 0);
  else
    start->LoadFaces(IDB_START_CLOSE_NORMAL, IDB_START_CLOSE_PRESSED, IDB_START_CLOSE_HOVER,
                     IDB_START_CLOSE_NORMAL, 0, 0, 0, 0, 0);
  // The focus change repaints it, unless it had the focus already.
  start->Invalidate();
  start->SetFocus();
}

void CListCtrlEx::SetEntryChecked(size_t i, BOOL checked) {
  if (i >= m_rowButtons.size()) return;
  CxSkinButton& button = *m_rowButtons[i];
  if ((button.m_nRowChecked != 0) == (checked != FALSE)) return;
  ShowRowFaces(button, checked != FALSE);
  button.m_nRowChecked = checked ? 1 : 0;
  button.Invalidate();
  UpdateStartButton();
}

void CListCtrlEx::FreezeEntries() {
  for (const auto& button : m_rowButtons) {
    button->m_nRowLocked = 1;
    button->EnableWindow(FALSE);
  }
}

void CListCtrlEx::ToggleEntry(CxSkinButton& button) {
  const bool select = button.m_nRowChecked == 0;
  ShowRowFaces(button, select);
  button.m_nRowChecked = select ? 1 : 0;
  button.Invalidate();
  UpdateStartButton();
}

BOOL CListCtrlEx::OnCommand(WPARAM wParam, LPARAM /*lParam*/) {
  const int id = LOWORD(wParam);
  for (size_t i = 0; i < m_rowButtons.size(); ++i) {
    if (id == kFirstButtonId + static_cast<int>(i)) {
      ToggleEntry(*m_rowButtons[i]);
      return TRUE;
    }
  }
  return FALSE;
}

BOOL CListCtrlEx::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  if (message != WM_NOTIFY || !lParam) return FALSE;
  const auto* header = reinterpret_cast<const NMHDR*>(lParam);
  if (header->code != static_cast<UINT>(NM_CLICK)) return FALSE;
  const int k = reinterpret_cast<const NMITEMACTIVATE*>(lParam)->iItem;
  // A locked row keeps its choice; a click below the last row has no item.
  if (k >= 0 && static_cast<size_t>(k) < m_rowButtons.size() && m_rowButtons[k]->m_nRowLocked == 0)
    PostMessage(WM_COMMAND, static_cast<WPARAM>(kFirstButtonId + k), 0);
  *pResult = 0;
  return TRUE;
}

LRESULT CListCtrlEx::OnMouseMove(LPARAM lParam) {
  const POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
  const int rows = GetItemCount();
  for (int i = 0; i < rows; ++i) {
    RECT bounds{};
    if (GetItemRect(i, &bounds, LVIR_BOUNDS) && ::PtInRect(&bounds, point))
      ::SetCursor(::LoadCursor(nullptr, IDC_HAND));
    if (static_cast<size_t>(i) < m_rowButtons.size()) m_rowButtons[i]->SetFocus();
  }
  return Default();
}

LRESULT CListCtrlEx::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_MOUSEMOVE:
      return OnMouseMove(lParam);
    case WM_COMMAND:
      if (OnCommand(wParam, lParam)) return TRUE;
      return Default();
    default:
      return CListCtrl::WindowProc(message, wParam, lParam);
  }
}
