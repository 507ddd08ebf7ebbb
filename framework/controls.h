// The platform's standard controls seen through their messages. Each is a CWnd: bound to a dialog
// item with DDX_Control, or created through its class with Create.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <string>

#include "framework/wnd.h"

namespace framework {

class CButton : public CWnd {};

class CEdit : public CWnd {
 public:
  void SetMargins(UINT left, UINT right) {
    SendMessage(EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, MAKELPARAM(left, right));
  }
  int GetFirstVisibleLine() const { return static_cast<int>(SendMessage(EM_GETFIRSTVISIBLELINE)); }
};

class CScrollBar : public CWnd {};

class CListCtrl : public CWnd {
 public:
  int GetItemCount() const { return static_cast<int>(SendMessage(LVM_GETITEMCOUNT)); }
  int InsertColumn(int column, const std::string& heading, int format, int width);
  int InsertItem(int item, const std::string& text, int image);
  HIMAGELIST SetImageList(HIMAGELIST list, int which) {
    return reinterpret_cast<HIMAGELIST>(SendMessage(LVM_SETIMAGELIST, which, reinterpret_cast<LPARAM>(list)));
  }
  BOOL GetItemRect(int item, RECT* rect, int code) const;
  BOOL GetSubItemRect(int item, int subItem, int code, RECT* rect) const;
};

}  // namespace framework
