// The component list: one row per component with an icon, a label and a skin button as its check
// mark, plus hidden entries that are always selected. After every change the main dialog's start
// button shows its update look, or its close look when nothing is selected.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <memory>
#include <string>
#include <vector>

#include "framework/controls.h"
#include "framework/scopedhandle.h"
#include "ui/xskinbutton.h"

class CListCtrlEx : public framework::CListCtrl {
 public:
  // Window ID of entry i's button.
  static constexpr int kFirstButtonId = 1000;

  CListCtrlEx();
  ~CListCtrlEx() override;

  // Appends a row and its check button. A locked row keeps its choice.
  void AddItem(std::string text, int image, BOOL locked, BOOL checked);
  // Appends a selected entry without a row.
  void AddHiddenItem();
  // TRUE when any entry, hidden ones included, is selected.
  BOOL IsAnyChecked() const;
  // Selects or deselects entry i as a click would show it, without asking its lock.
  void SetEntryChecked(size_t i, BOOL checked);
  // No entry can be toggled any more (a run has taken the selection).
  void FreezeEntries();

  // Entry i < row count belongs to row i; hidden entries follow. The list owns the buttons.
  std::vector<std::unique_ptr<CxSkinButton>> m_rowButtons;
  // The rows' small images (shared with the window, which does not destroy it).
  framework::UniqueImageList m_imageList;

  void PreSubclassWindow() override;
  BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  // Toggles the entry whose button has `id`; FALSE when no entry has it.
  BOOL OnCommand(WPARAM wParam, LPARAM lParam);
  void ToggleEntry(CxSkinButton& button);
  void UpdateStartButton();
  LRESULT OnMouseMove(LPARAM lParam);
};
