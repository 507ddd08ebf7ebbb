// Drives the update window of a running TalvoUpdate.exe from outside, as a user would: finds it,
// reads its controls, clicks at their places with real mouse input, types keys, opens the About
// box through the system menu command. Runs in the same Wine prefix as the updater. Console
// program; prints one line per fact or event (code page 949 texts), flushed at once.
//
//   windowdriver STEP [ARGS] [STEP [ARGS] ...]
//     find MS            wait up to MS for the update window; "window HWND X Y W H"
//     describe           "control ID visible enabled X Y W H text", "row I text", "entry I visible enabled"
//     click-start        left click in the middle of the start button
//     click-row I        left click on row I's check mark
//     click-notice       left click in the notice box (it gets the keyboard focus)
//     type TEXT          types the characters of TEXT
//     key VK             presses and releases the virtual key VK (decimal)
//     sysmenu CMD        sends the system menu command CMD (decimal) as the window menu would
//     close              asks the window to close (WM_CLOSE, as the title bar's close does)
//     about MS           wait up to MS for the About box; "about TITLE" and "about-text TEXT" lines
//     about-ok           left click on the About box's OK button
//     about-key VK       presses VK while the About box is active
//     about-gone MS      wait up to MS for the About box to go; "about-closed"
//     watch MS [ok]      until the window goes (at most MS): "status T TEXT", "counter T TEXT" for
//                        the texts shown when it begins and on each change, "box T TEXT" for a message box of the updater (with "ok" it is
//                        answered with a click on its OK button), then "closed T" or "still-open"
//     gone MS            until the window goes (at most MS), looking at nothing else: "closed T"
//     sleep MS
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr int kList = 1001, kStart = 1002, kProgress = 1009, kStatus = 1013, kCounter = 1014,
              kCloseButton = 1017, kNotice = 1019;

HWND g_hDialog = nullptr;

struct ItemSearch {
  int id;
  HWND found;
};

BOOL CALLBACK FindEdit(HWND hWnd, LPARAM param) {
  auto* search = reinterpret_cast<ItemSearch*>(param);
  char szClass[16] = {};
  ::GetClassNameA(hWnd, szClass, sizeof szClass);
  if (::GetDlgCtrlID(hWnd) == search->id && lstrcmpiA(szClass, "Edit") == 0) {
    search->found = hWnd;
    return FALSE;
  }
  return TRUE;
}

// A dialog item; the notice box is the edit control itself, wherever its skinned scroll frame
// has put it (the frame takes its place among the dialog's children).
HWND Item(int id) {
  if (id == kNotice) {
    ItemSearch search{id, nullptr};
    ::EnumChildWindows(g_hDialog, FindEdit, reinterpret_cast<LPARAM>(&search));
    if (search.found) return search.found;
  }
  return ::GetDlgItem(g_hDialog, id);
}
DWORD g_dwStart = ::GetTickCount();

unsigned long Elapsed() { return static_cast<unsigned long>(::GetTickCount() - g_dwStart); }

void Say(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vfprintf(stdout, format, args);
  va_end(args);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

const char kNoAnswer[] = "<no answer>";

std::string TextOf(HWND hWnd) {
  char szText[4096] = {};
  DWORD_PTR copied = 0;
  // A window that has just opened on a loaded machine may take seconds to answer: an unanswered
  // read says so rather than passing for an empty text.
  if (!::SendMessageTimeoutA(hWnd, WM_GETTEXT, sizeof szText, reinterpret_cast<LPARAM>(szText),
                             SMTO_NORMAL, 20000, &copied))
    return kNoAnswer;
  return std::string(szText, copied);
}

// Line breaks shown as "\n", so one fact stays on one line.
std::string OneLine(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\r') continue;
    if (c == '\n') out += "\\n";
    else out += c;
  }
  return out;
}

std::string ClassOf(HWND hWnd) {
  char szClass[64] = {};
  ::GetClassNameA(hWnd, szClass, sizeof szClass);
  return szClass;
}

BOOL CALLBACK FindUpdateWindow(HWND hWnd, LPARAM param) {
  if (ClassOf(hWnd) != "#32770" || !::IsWindowVisible(hWnd)) return TRUE;
  const HWND hList = ::GetDlgItem(hWnd, kList);
  const HWND hStart = ::GetDlgItem(hWnd, kStart);
  if (hList && hStart && ClassOf(hList) == "SysListView32") {
    *reinterpret_cast<HWND*>(param) = hWnd;
    return FALSE;
  }
  return TRUE;
}

struct BoxSearch {
  DWORD pid;
  std::string title;  // empty: any message box of the process (it has a static 0xFFFF)
  HWND found;
};

BOOL CALLBACK FindBox(HWND hWnd, LPARAM param) {
  auto* search = reinterpret_cast<BoxSearch*>(param);
  if (ClassOf(hWnd) != "#32770" || !::IsWindowVisible(hWnd) || hWnd == g_hDialog) return TRUE;
  DWORD pid = 0;
  ::GetWindowThreadProcessId(hWnd, &pid);
  if (pid != search->pid) return TRUE;
  if (search->title.empty() ? ::GetDlgItem(hWnd, 0xFFFF) == nullptr : TextOf(hWnd) != search->title)
    return TRUE;
  search->found = hWnd;
  return FALSE;
}

HWND FindProcessBox(const std::string& title) {
  BoxSearch search{0, title, nullptr};
  ::GetWindowThreadProcessId(g_hDialog, &search.pid);
  ::EnumWindows(FindBox, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

void SendMouse(DWORD flags, int x, int y) {
  INPUT input = {};
  input.type = INPUT_MOUSE;
  input.mi.dx = static_cast<LONG>((static_cast<LONGLONG>(x) * 65536 + 32768) / ::GetSystemMetrics(SM_CXSCREEN));
  input.mi.dy = static_cast<LONG>((static_cast<LONGLONG>(y) * 65536 + 32768) / ::GetSystemMetrics(SM_CYSCREEN));
  input.mi.dwFlags = flags | MOUSEEVENTF_ABSOLUTE;
  ::SendInput(1, &input, sizeof input);
}

// A real click: move there, press, release, in the middle of the window's rectangle.
bool ClickCenter(HWND hWnd) {
  RECT rc = {};
  if (!hWnd || !::GetWindowRect(hWnd, &rc)) return false;
  const int x = (rc.left + rc.right) / 2;
  const int y = (rc.top + rc.bottom) / 2;
  ::SetCursorPos(x, y);
  SendMouse(MOUSEEVENTF_MOVE, x, y);
  ::Sleep(50);
  SendMouse(MOUSEEVENTF_LEFTDOWN, x, y);
  ::Sleep(50);
  SendMouse(MOUSEEVENTF_LEFTUP, x, y);
  Say("clicked %lu %d %d", Elapsed(), x, y);
  ::Sleep(100);
  return true;
}

void PressKey(WORD vk, bool unicode = false, wchar_t ch = 0) {
  INPUT input[2] = {};
  for (int i = 0; i < 2; ++i) {
    input[i].type = INPUT_KEYBOARD;
    input[i].ki.wVk = unicode ? 0 : vk;
    input[i].ki.wScan = unicode ? ch : 0;
    input[i].ki.dwFlags = (unicode ? KEYEVENTF_UNICODE : 0) | (i == 1 ? KEYEVENTF_KEYUP : 0);
  }
  ::SendInput(2, input, sizeof input[0]);
  ::Sleep(60);
}

// The list's item texts live in the updater's memory: ask through a buffer placed there.
std::string ListItemText(HWND hList, int item) {
  DWORD pid = 0;
  ::GetWindowThreadProcessId(hList, &pid);
  HANDLE hProcess = ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
  if (!hProcess) return "?";
  const SIZE_T cbText = 512;
  char* remote = static_cast<char*>(
      ::VirtualAllocEx(hProcess, nullptr, sizeof(LVITEMA) + cbText, MEM_COMMIT, PAGE_READWRITE));
  std::string text = "?";
  if (remote) {
    LVITEMA lvi = {};
    lvi.iSubItem = 0;
    lvi.cchTextMax = static_cast<int>(cbText);
    lvi.pszText = remote + sizeof(LVITEMA);
    SIZE_T done = 0;
    ::WriteProcessMemory(hProcess, remote, &lvi, sizeof lvi, &done);
    const LRESULT n = ::SendMessageA(hList, LVM_GETITEMTEXTA, item, reinterpret_cast<LPARAM>(remote));
    char szText[512] = {};
    if (::ReadProcessMemory(hProcess, remote + sizeof(LVITEMA), szText, cbText - 1, &done))
      text.assign(szText, static_cast<size_t>(n >= 0 ? n : 0));
    ::VirtualFreeEx(hProcess, remote, 0, MEM_RELEASE);
  }
  ::CloseHandle(hProcess);
  return text;
}

void DescribeControl(int id) {
  const HWND h = Item(id);
  if (!h) {
    Say("control %d missing", id);
    return;
  }
  RECT rc = {};
  ::GetWindowRect(h, &rc);
  Say("control %d %d %d %ld %ld %ld %ld %s", id, ::IsWindowVisible(h) ? 1 : 0, ::IsWindowEnabled(h) ? 1 : 0,
      rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, OneLine(TextOf(h)).c_str());
}

void Describe() {
  RECT rc = {};
  ::GetWindowRect(g_hDialog, &rc);
  Say("window %lu %ld %ld %ld %ld", static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(g_hDialog)), rc.left,
      rc.top, rc.right - rc.left, rc.bottom - rc.top);
  for (int id : {kList, kStart, kProgress, kStatus, kCounter, kCloseButton, kNotice}) DescribeControl(id);
  const HWND hList = ::GetDlgItem(g_hDialog, kList);
  const int rows = static_cast<int>(::SendMessageA(hList, LVM_GETITEMCOUNT, 0, 0));
  for (int i = 0; i < rows; ++i) Say("row %d %s", i, ListItemText(hList, i).c_str());
  // Row check marks and hidden entries: the list's child buttons 1000 + i.
  for (int i = 0; i < 64; ++i) {
    const HWND hButton = ::GetDlgItem(hList, 1000 + i);
    if (!hButton) break;
    Say("entry %d %d %d", i, ::IsWindowVisible(hButton) ? 1 : 0, ::IsWindowEnabled(hButton) ? 1 : 0);
  }
}

HWND g_hAbout = nullptr;

BOOL CALLBACK ListAboutText(HWND hWnd, LPARAM) {
  if (ClassOf(hWnd) == "Static") {
    const std::string text = TextOf(hWnd);
    if (!text.empty()) Say("about-text %s", text.c_str());
  }
  if (ClassOf(hWnd) == "Button") Say("about-button %d %s", ::GetDlgCtrlID(hWnd), TextOf(hWnd).c_str());
  return TRUE;
}

bool WaitFor(unsigned long ms, bool (*done)()) {
  const DWORD end = ::GetTickCount() + ms;
  while (!done()) {
    if (static_cast<LONG>(end - ::GetTickCount()) <= 0) return false;
    ::Sleep(20);
  }
  return true;
}

int Watch(unsigned long ms, bool answerBoxes) {
  // What the labels show when the watch begins counts as the first change.
  std::string status, counter;
  LRESULT progress = -1;
  HWND hSeenBox = nullptr;
  const DWORD end = ::GetTickCount() + ms;
  while (::IsWindow(g_hDialog)) {
    if (static_cast<LONG>(end - ::GetTickCount()) <= 0) {
      Say("still-open");
      return 1;
    }
    // The window blanks a label before it writes the next text; the blank is no change. The
    // counter moves first for each entry, so it is read first.
    const std::string nowCounter = TextOf(::GetDlgItem(g_hDialog, kCounter));
    if (nowCounter != counter && nowCounter != " " && !nowCounter.empty() && nowCounter != kNoAnswer) {
      counter = nowCounter;
      Say("counter %lu %s", Elapsed(), counter.c_str());
    }
    const std::string nowStatus = TextOf(::GetDlgItem(g_hDialog, kStatus));
    if (nowStatus != status && nowStatus != " " && !nowStatus.empty() && nowStatus != kNoAnswer) {
      status = nowStatus;
      Say("status %lu %s", Elapsed(), status.c_str());
    }
    DWORD_PTR nowProgress = 0;
    if (::SendMessageTimeoutA(::GetDlgItem(g_hDialog, kProgress), PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, 1000,
                              &nowProgress) &&
        static_cast<LRESULT>(nowProgress) != progress) {
      progress = static_cast<LRESULT>(nowProgress);
      Say("progress %lu %ld", Elapsed(), static_cast<long>(progress));
    }
    const HWND hBox = FindProcessBox("");
    if (hBox && hBox != hSeenBox) {
      hSeenBox = hBox;
      Say("box %lu %s", Elapsed(), OneLine(TextOf(::GetDlgItem(hBox, 0xFFFF))).c_str());
      if (answerBoxes) ClickCenter(::GetDlgItem(hBox, IDOK));
    }
    ::Sleep(5);
  }
  Say("closed %lu", Elapsed());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  size_t i = 0;
  auto next = [&]() -> std::string { return i < args.size() ? args[i++] : std::string(); };
  auto number = [&]() -> unsigned long { return std::strtoul(next().c_str(), nullptr, 10); };
  while (i < args.size()) {
    const std::string step = next();
    if (step == "find") {
      const unsigned long ms = number();
      if (!WaitFor(ms, [] {
            g_hDialog = nullptr;
            ::EnumWindows(FindUpdateWindow, reinterpret_cast<LPARAM>(&g_hDialog));
            return g_hDialog != nullptr;
          })) {
        Say("no-window");
        return 1;
      }
      RECT rc = {};
      ::GetWindowRect(g_hDialog, &rc);
      Say("window %lu %ld %ld %ld %ld", static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(g_hDialog)),
          rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top);
      continue;
    }
    if (!g_hDialog) {
      Say("error no window: use find first");
      return 2;
    }
    if (step == "describe") {
      Describe();
    } else if (step == "click-start") {
      ClickCenter(::GetDlgItem(g_hDialog, kStart));
    } else if (step == "click-row") {
      const int row = static_cast<int>(number());
      if (!ClickCenter(::GetDlgItem(::GetDlgItem(g_hDialog, kList), 1000 + row))) Say("error no row %d", row);
    } else if (step == "click-notice") {
      ClickCenter(Item(kNotice));
    } else if (step == "type") {
      const std::string text = next();
      for (char c : text) PressKey(0, true, static_cast<wchar_t>(static_cast<unsigned char>(c)));
    } else if (step == "key") {
      PressKey(static_cast<WORD>(number()));
    } else if (step == "sysmenu") {
      ::PostMessageA(g_hDialog, WM_SYSCOMMAND, number(), 0);
    } else if (step == "close") {
      ::PostMessageA(g_hDialog, WM_CLOSE, 0, 0);
    } else if (step == "about") {
      const unsigned long ms = number();
      if (!WaitFor(ms, [] {
            g_hAbout = FindProcessBox("TalvoUpdate 정보");
            return g_hAbout != nullptr;
          })) {
        Say("no-about");
        return 1;
      }
      Say("about %s", TextOf(g_hAbout).c_str());
      ::EnumChildWindows(g_hAbout, ListAboutText, 0);
    } else if (step == "about-ok") {
      ClickCenter(::GetDlgItem(g_hAbout, IDOK));
    } else if (step == "about-key") {
      ::SetForegroundWindow(g_hAbout);
      PressKey(static_cast<WORD>(number()));
    } else if (step == "about-gone") {
      if (!WaitFor(number(), [] { return !::IsWindow(g_hAbout) || !::IsWindowVisible(g_hAbout); })) {
        Say("about-still-open");
        return 1;
      }
      Say("about-closed");
    } else if (step == "watch") {
      const unsigned long ms = number();
      const bool answer = i < args.size() && args[i] == "ok" ? (++i, true) : false;
      if (Watch(ms, answer) != 0) return 1;
    } else if (step == "gone") {
      const DWORD end = ::GetTickCount() + number();
      while (::IsWindow(g_hDialog) && static_cast<LONG>(end - ::GetTickCount()) > 0) ::Sleep(2);
      if (::IsWindow(g_hDialog)) {
        Say("still-open");
        return 1;
      }
      Say("closed %lu", Elapsed());
    } else if (step == "sleep") {
      ::Sleep(number());
    } else {
      Say("error unknown step %s", step.c_str());
      return 2;
    }
  }
  return 0;
}
