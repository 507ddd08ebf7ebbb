// The component list: one row per component with an icon, a label and a skin button as its check
// mark, plus hidden entries that are always selected.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <memory>
#include <string>
#include <vector>

#include "framework/controls.h"
#include "ui/xskinbutton.h"

class CListCtrlEx : public framework::CListCtrl {
 public:
  CListCtrlEx();
  ~CListCtrlEx() override;

  void AddItem(std::string text, int image, BOOL locked, BOOL checked);
  void AddHiddenItem();
  BOOL IsAnyChecked() const;

  // Entry i < row count belongs to row i; hidden entries follow. The list owns the buttons.
  std::vector<std::unique_ptr<CxSkinButton>> m_rowButtons;
  HIMAGELIST m_imageList = nullptr;

  void PreSubclassWindow() override;
  BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
};
