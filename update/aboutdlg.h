// The About box, opened from the update window's system menu.
#pragma once
#include "framework/dialog.h"
#include "resources/resource.h"

class CAboutDlg : public framework::CDialog {
 public:
  CAboutDlg() : framework::CDialog(IDD_ABOUTBOX) {}
};
