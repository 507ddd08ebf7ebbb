#include "framework/controls.h"

namespace framework {

int CListCtrl::InsertColumn(int column, const std::string& heading, int format, int width) {
  LVCOLUMNA col{};
  col.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
  col.fmt = format;
  col.cx = width;
  col.pszText = const_cast<char*>(heading.c_str());
  col.iSubItem = column;
  return static_cast<int>(SendMessage(LVM_INSERTCOLUMNA, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&col)));
}

int CListCtrl::InsertItem(int item, const std::string& text, int image) {
  LVITEMA lvi{};
  lvi.mask = LVIF_TEXT | LVIF_IMAGE;
  lvi.iItem = item;
  lvi.pszText = const_cast<char*>(text.c_str());
  lvi.iImage = image;
  return static_cast<int>(SendMessage(LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&lvi)));
}

BOOL CListCtrl::GetItemRect(int item, RECT* rect, int code) const {
  rect->left = code;
  return static_cast<BOOL>(SendMessage(LVM_GETITEMRECT, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(rect)));
}

BOOL CListCtrl::GetSubItemRect(int item, int subItem, int code, RECT* rect) const {
  rect->top = subItem;
  rect->left = code;
  return static_cast<BOOL>(SendMessage(LVM_GETSUBITEMRECT, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(rect)));
}

}  // namespace framework
