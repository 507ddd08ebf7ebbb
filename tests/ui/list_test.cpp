// The component list on real windows, driven by real mouse input, with the start button reached
// through the application object as in the program.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include "framework/winapp.h"
#include "resources/resource.h"
#include "tests/support/mouseinput.h"
#include "tests/support/parentwindow.h"
#include "tests/support/pixels.h"
#include "tests/support/pump.h"
#include "ui/listctrlex.h"
#include "ui/startbuttonhost.h"

namespace {

using testsupport::CentreOf;
using testsupport::Click;
using testsupport::MoveMouse;
using testsupport::PictureAt;
using testsupport::PumpUntil;
using testsupport::ShownAt;

constexpr UINT kRowUnselected = IDB_ROW_UNCHECKED, kRowSelected = IDB_ROW_CHECKED, kRowLocked = IDB_ROW_LOCKED;
constexpr UINT kUpdateLook = IDB_START_UPDATE_NORMAL, kCloseLook = IDB_START_CLOSE_NORMAL;

class TestApp : public framework::CWinApp, public IStartButtonHost {
 public:
  CxSkinButton* GetStartButton() override { return hostRunning ? button : nullptr; }
  CxSkinButton* button = nullptr;
  bool hostRunning = true;
};
TestApp theApp;

class List : public ::testing::Test {
 protected:
  void SetUp() override {
    MoveMouse(testsupport::ToScreen(parent.m_hWnd, POINT{380, 280}));
    ASSERT_TRUE(start.Create("BUTTON", "", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, RECT{250, 250, 329, 271}, &parent, 1002));
    start.LoadFaces(kUpdateLook, IDB_START_UPDATE_PRESSED, IDB_START_UPDATE_HOVER, kUpdateLook, 0, 0, 0, 0, 0);
    theApp.button = &start;
    theApp.hostRunning = true;
    ASSERT_TRUE(list.Create(WC_LISTVIEWA, "", WS_CHILD | WS_VISIBLE | WS_BORDER | LVS_REPORT | LVS_NOCOLUMNHEADER,
                            RECT{10, 10, 240, 200}, &parent, 1001));
  }
  void TearDown() override { theApp.button = nullptr; }

  // Screen point in the middle of row `row`'s label.
  POINT Label(int row) const {
    RECT rc{};
    list.GetItemRect(row, &rc, LVIR_LABEL);
    return testsupport::ToScreen(list.m_hWnd, POINT{rc.left + 10, (rc.top + rc.bottom) / 2});
  }
  CxSkinButton& Row(int i) { return *list.m_rowButtons[i]; }
  COLORREF ShownMark(int i) { return ShownAt(Row(i).m_hWnd, 6, 6); }
  COLORREF ShownStart() {
    return ShownAt(start.m_hWnd, 5, 5);
  }
  // A click whose effect comes through a posted message: pump until it has come or a while passed.
  void ClickAndSettle(POINT screen) {
    Click(screen);
    testsupport::PumpFor(100);
  }

  testsupport::ParentWindow parent;
  CxSkinButton start;
  CListCtrlEx list;
};

TEST_F(List, RowsGetCheckButtonsInTheSecondColumnAndHiddenEntriesFollow) {
  EXPECT_EQ(list.GetStyle() & (LVS_TYPEMASK | LVS_SINGLESEL), static_cast<DWORD>(LVS_REPORT | LVS_SINGLESEL));
  EXPECT_EQ(list.SendMessage(LVM_GETCOLUMNWIDTH, 0), 200);
  EXPECT_EQ(list.SendMessage(LVM_GETCOLUMNWIDTH, 1), 20);
  EXPECT_EQ(::ImageList_GetImageCount(list.m_imageList.Get()), 4);

  list.AddItem("Talvo Ver 1.0", 0, FALSE, TRUE);
  list.AddItem("로그인 엔진 Ver 2", 0, TRUE, TRUE);
  list.AddItem("검색어 필터 Ver 3", 1, FALSE, FALSE);
  list.AddHiddenItem();
  ASSERT_EQ(list.m_rowButtons.size(), 4u);
  EXPECT_EQ(list.GetItemCount(), 3);

  RECT row{};
  list.GetItemRect(0, &row, LVIR_BOUNDS);
  EXPECT_EQ(row.bottom - row.top, 24) << "the 23-pixel images set the row height";
  for (int i = 0; i < 4; ++i) EXPECT_EQ(::GetDlgCtrlID(Row(i).m_hWnd), 1000 + i);
  for (int i = 0; i < 3; ++i) {
    RECT icon{};
    list.GetSubItemRect(i, 1, LVIR_ICON, &icon);
    RECT placed = Row(i).GetWindowRect();
    ::MapWindowPoints(nullptr, list.m_hWnd, reinterpret_cast<POINT*>(&placed), 2);
    EXPECT_EQ(placed.left, icon.left) << i;
    EXPECT_EQ(placed.right, icon.left + 20) << i;
    EXPECT_EQ(placed.top, icon.top + 3) << i;
    EXPECT_TRUE(Row(i).IsWindowVisible()) << i;
  }
  EXPECT_EQ(Row(0).m_nRowChecked, 1);
  EXPECT_EQ(Row(0).m_nRowLocked, 0);
  EXPECT_TRUE(Row(0).IsWindowEnabled());
  EXPECT_EQ(Row(1).m_nRowLocked, 1);
  EXPECT_FALSE(Row(1).IsWindowEnabled());
  EXPECT_EQ(Row(2).m_nRowChecked, 0);
  EXPECT_EQ(Row(3).m_nRowChecked, 1) << "a hidden entry is selected";
  EXPECT_FALSE(Row(3).IsWindowVisible());
  EXPECT_FALSE(Row(3).IsWindowEnabled());

  testsupport::PumpFor(50);
  EXPECT_EQ(ShownMark(0), PictureAt(kRowSelected));
  EXPECT_EQ(ShownMark(1), PictureAt(kRowLocked)) << "a locked row shows the grey tick";
  EXPECT_EQ(ShownMark(2), PictureAt(kRowUnselected));
}

TEST_F(List, ClickingARowsLabelTogglesItLikeItsCheckMark) {
  list.AddItem("Talvo Ver 1.0", 0, FALSE, TRUE);
  list.AddItem("검색어 필터 Ver 3", 1, FALSE, TRUE);
  ClickAndSettle(Label(0));
  EXPECT_EQ(Row(0).m_nRowChecked, 0);
  EXPECT_EQ(Row(1).m_nRowChecked, 1);
  EXPECT_TRUE(PumpUntil([&] { return ShownMark(0) == PictureAt(kRowUnselected); }));

  ClickAndSettle(CentreOf(Row(0).m_hWnd));
  EXPECT_EQ(Row(0).m_nRowChecked, 1);
  EXPECT_TRUE(PumpUntil([&] { return ShownMark(0) == PictureAt(kRowSelected); }));

  ClickAndSettle(CentreOf(Row(1).m_hWnd));
  EXPECT_EQ(Row(1).m_nRowChecked, 0);
  ClickAndSettle(Label(1));
  EXPECT_EQ(Row(1).m_nRowChecked, 1);
  EXPECT_EQ(Row(0).m_nRowChecked, 1);
}

TEST_F(List, ALockedRowAndTheSpaceBelowTheRowsChangeNothing) {
  list.AddItem("Talvo Ver 1.0", 0, TRUE, TRUE);
  list.AddItem("검색어 필터 Ver 3", 1, FALSE, TRUE);
  ClickAndSettle(Label(0));
  ClickAndSettle(CentreOf(Row(0).m_hWnd));
  RECT last{};
  list.GetItemRect(1, &last, LVIR_BOUNDS);
  ClickAndSettle(testsupport::ToScreen(list.m_hWnd, POINT{30, last.bottom + 30}));
  ClickAndSettle(testsupport::ToScreen(list.m_hWnd, POINT{210, last.bottom + 30}));
  EXPECT_EQ(Row(0).m_nRowChecked, 1);
  EXPECT_EQ(Row(1).m_nRowChecked, 1);
  EXPECT_EQ(ShownMark(0), PictureAt(kRowLocked));
  EXPECT_EQ(ShownMark(1), PictureAt(kRowSelected));
}

TEST_F(List, DeselectingEveryRowSwitchesTheStartButtonToItsCloseLook) {
  list.AddItem("Talvo Ver 1.0", 0, FALSE, TRUE);
  list.AddItem("검색어 필터 Ver 3", 1, FALSE, TRUE);
  ClickAndSettle(Label(0));
  EXPECT_EQ(::GetFocus(), start.m_hWnd) << "the start button takes the focus";
  EXPECT_EQ(ShownStart(), PictureAt(kUpdateLook)) << "one row still selected";

  ClickAndSettle(Label(1));
  EXPECT_FALSE(list.IsAnyChecked());
  EXPECT_TRUE(PumpUntil([&] { return ShownStart() == PictureAt(kCloseLook); }));
  BITMAP face{};
  ::GetObjectA(start.m_bmpNormal.Get(), sizeof face, &face);
  EXPECT_EQ(face.bmWidth, 79);

  ClickAndSettle(CentreOf(Row(1).m_hWnd));
  EXPECT_TRUE(PumpUntil([&] { return ShownStart() == PictureAt(kUpdateLook); }));
  EXPECT_EQ(::GetFocus(), start.m_hWnd);
}

TEST_F(List, TheNewLooksShowEvenWhenNoFocusMoves) {
  list.AddItem("Talvo Ver 1.0", 0, FALSE, TRUE);
  start.SetFocus();
  testsupport::PumpFor(50);
  list.SendMessage(WM_COMMAND, MAKEWPARAM(1000, BN_CLICKED), 0);
  EXPECT_TRUE(PumpUntil([&] { return ShownStart() == PictureAt(kCloseLook); })) << "the start button had the focus";
  EXPECT_TRUE(PumpUntil([&] { return ShownMark(0) == PictureAt(kRowUnselected); })) << "the mark never had it";
}

TEST_F(List, AHiddenEntryKeepsTheUpdateLook) {
  list.AddItem("Talvo Ver 1.0", 0, FALSE, TRUE);
  list.AddHiddenItem();
  ClickAndSettle(Label(0));
  EXPECT_EQ(Row(0).m_nRowChecked, 0);
  EXPECT_TRUE(list.IsAnyChecked());
  EXPECT_EQ(ShownStart(), PictureAt(kUpdateLook));
}

TEST_F(List, ACommandWithARowsIdTogglesItWhateverItsCode) {
  list.AddItem("Talvo Ver 1.0", 0, FALSE, TRUE);
  list.AddHiddenItem();
  EXPECT_EQ(list.SendMessage(WM_COMMAND, MAKEWPARAM(1000, 0x1234), 0), TRUE);
  EXPECT_EQ(Row(0).m_nRowChecked, 0);
  EXPECT_TRUE(PumpUntil([&] { return ShownMark(0) == PictureAt(kRowUnselected); }));
  list.SendMessage(WM_COMMAND, MAKEWPARAM(1001, BN_CLICKED), 0);
  EXPECT_EQ(Row(1).m_nRowChecked, 0) << "hidden entries are entries too";
  EXPECT_FALSE(list.IsAnyChecked());
  list.SendMessage(WM_COMMAND, MAKEWPARAM(1002, BN_CLICKED), 0);
  EXPECT_FALSE(list.IsAnyChecked()) << "no such entry";

  theApp.hostRunning = false;  // no dialog running: the toggle still works
  list.SendMessage(WM_COMMAND, MAKEWPARAM(1000, BN_CLICKED), 0);
  EXPECT_EQ(Row(0).m_nRowChecked, 1);
}

TEST_F(List, AfterAMoveOverTheListTheLastRowsButtonHasTheFocus) {
  list.AddItem("Talvo Ver 1.0", 0, FALSE, TRUE);
  list.AddItem("로그인 엔진 Ver 2", 0, FALSE, TRUE);
  list.AddItem("검색어 필터 Ver 3", 1, FALSE, TRUE);
  start.SetFocus();
  MoveMouse(Label(0));
  EXPECT_EQ(::GetFocus(), Row(2).m_hWnd);
  EXPECT_EQ(::GetCursor(), ::LoadCursor(nullptr, IDC_HAND)) << "over a row";
}

}  // namespace
