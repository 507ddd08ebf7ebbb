// Shows the skinned controls with the program's own artwork in a sample window and saves what the
// window shows as a BMP file, so they can be looked at without running an update.
//   uishot.exe OUTPUT.bmp
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "framework/scopedhandle.h"
#include "framework/wnd.h"
#include "resources/resource.h"
#include "ui/imageprogressctrl.h"
#include "ui/listctrlex.h"
#include "ui/xskinbutton.h"

namespace {

constexpr int kWidth = 530;
constexpr int kHeight = 250;

struct Label {
  int x, y;
  const char* text;
};
const Label kLabels[] = {
    {10, 8, "구성 요소 목록 (잠긴 행, 선택, 선택 안 함)"},
    {280, 8, "시작 단추: 보통 / 마우스 위 / 눌림"},
    {280, 88, "창 닫기 단추"},
    {10, 150, "진행 막대: 0%, 57%, 100%"},
};

class SampleWindow : public framework::CWnd {
 public:
  HFONT font = nullptr;
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == WM_PAINT) {
      framework::ScopedPaintDC dc(m_hWnd);
      RECT client = GetClientRect();
      ::FillRect(dc.Get(), &client, ::GetSysColorBrush(COLOR_BTNFACE));
      const HGDIOBJ old = ::SelectObject(dc.Get(), font);
      ::SetBkMode(dc.Get(), TRANSPARENT);
      for (const Label& label : kLabels) ::TextOutA(dc.Get(), label.x, label.y, label.text, lstrlenA(label.text));
      ::SelectObject(dc.Get(), old);
      return 0;
    }
    return CWnd::WindowProc(message, wParam, lParam);
  }
};

void Pump(DWORD ms) {
  const DWORD start = ::GetTickCount();
  MSG msg;
  while (::GetTickCount() - start < ms) {
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageA(&msg);
    }
    ::Sleep(10);
  }
}

bool SaveClientArea(HWND hWnd, const char* path) {
  RECT rc{};
  ::GetClientRect(hWnd, &rc);
  const int width = rc.right, height = rc.bottom;
  framework::ScopedWindowDC window(hWnd);
  framework::UniqueMemoryDC memory(::CreateCompatibleDC(window.Get()));
  framework::UniqueBitmap bitmap(::CreateCompatibleBitmap(window.Get(), width, height));
  {
    framework::ScopedSelectObject selected(memory.Get(), bitmap.Get());
    ::BitBlt(memory.Get(), 0, 0, width, height, window.Get(), 0, 0, SRCCOPY);
  }
  BITMAPINFOHEADER info{};
  info.biSize = sizeof info;
  info.biWidth = width;
  info.biHeight = height;
  info.biPlanes = 1;
  info.biBitCount = 24;
  info.biCompression = BI_RGB;
  const int stride = (width * 3 + 3) & ~3;
  std::vector<unsigned char> pixels(static_cast<size_t>(stride) * height);
  if (!::GetDIBits(memory.Get(), static_cast<HBITMAP>(bitmap.Get()), 0, height, pixels.data(),
                   reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS))
    return false;
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof info;
  file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
  std::FILE* out = std::fopen(path, "wb");
  if (!out) return false;
  const bool written = std::fwrite(&file, sizeof file, 1, out) == 1 && std::fwrite(&info, sizeof info, 1, out) == 1 &&
                       std::fwrite(pixels.data(), pixels.size(), 1, out) == 1;
  return std::fclose(out) == 0 && written;
}

// A start-button face: the update or close look, optionally hovered or pressed.
std::unique_ptr<CxSkinButton> MakeButton(SampleWindow& parent, int id, int x, int y, int w, int h, UINT normal,
                                         UINT pressed, UINT hover, bool hovered, bool held) {
  auto button = std::make_unique<CxSkinButton>();
  // A check box shows its pressed face while checked, which stands still for the picture.
  button->Create("BUTTON", "", WS_CHILD | WS_VISIBLE | (held ? BS_AUTOCHECKBOX : BS_PUSHBUTTON),
                 RECT{x, y, x + w, y + h}, &parent, id);
  button->LoadFaces(normal, pressed, hover, normal, 0, 0, 0, 0, 0);
  if (held) button->SendMessage(BM_SETCHECK, 1);
  button->m_bHover = hovered;
  return button;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: uishot OUTPUT.bmp\n");
    return 2;
  }
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES};
  ::InitCommonControlsEx(&controls);

  framework::UniqueGdiObject font(::CreateFontA(-12, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, HANGUL_CHARSET,
                                                OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                                DEFAULT_PITCH, "굴림"));
  SampleWindow window;
  window.font = static_cast<HFONT>(font.Get());
  if (!window.CreateEx(0, framework::DefaultWndClass(), "uishot", WS_POPUP, RECT{40, 40, 40 + kWidth, 40 + kHeight},
                       nullptr, 0))
    return 1;

  CListCtrlEx list;
  list.Create(WC_LISTVIEWA, "", WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_NOCOLUMNHEADER, RECT{10, 28, 260, 140},
              &window, 1001);
  list.SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(font.Get()), FALSE);
  list.AddItem("Talvo Ver 3.52", 0, TRUE, TRUE);
  list.AddItem("로그인 엔진 Ver 1.0.0.7", 0, FALSE, TRUE);
  list.AddItem("검색어 필터 Ver 2008.05", 1, FALSE, FALSE);
  list.AddItem("서버 리스트 Ver 21", 2, FALSE, TRUE);

  std::vector<std::unique_ptr<CxSkinButton>> buttons;
  int id = 2000;
  const struct {
    UINT normal, pressed, hover;
    int w, h, y;
  } looks[] = {
      {IDB_START_UPDATE_NORMAL, IDB_START_UPDATE_PRESSED, IDB_START_UPDATE_HOVER, 74, 20, 28},
      {IDB_START_CLOSE_NORMAL, IDB_START_CLOSE_PRESSED, IDB_START_CLOSE_HOVER, 79, 21, 56},
  };
  for (const auto& look : looks)
    for (int state = 0; state < 3; ++state)
      buttons.push_back(MakeButton(window, id++, 280 + state * 82, look.y, look.w, look.h, look.normal, look.pressed,
                                   look.hover, state == 1, state == 2));
  for (int state = 0; state < 3; ++state)
    buttons.push_back(MakeButton(window, id++, 280 + state * 30, 108, 13, 13, IDB_CLOSE_NORMAL, IDB_CLOSE_PRESSED,
                                 IDB_CLOSE_HOVER, state == 1, state == 2));

  CImageProgressCtrl bars[3];
  const int positions[3] = {0, 57, 100};
  for (int i = 0; i < 3; ++i) {
    const int y = 170 + i * 24;
    bars[i].Create(PROGRESS_CLASSA, "", WS_CHILD | WS_VISIBLE, RECT{10, y, 10 + 459, y + 14}, &window, 1009 + i);
    bars[i].SetRange(0, 100);
    bars[i].SetStep(1);
    bars[i].SetBkBitmap(3, IDB_PROGRESS_BACKGROUND);
    bars[i].SetBarBitmap(3, IDB_PROGRESS_BLOCK);
    bars[i].SetPos(positions[i]);
  }

  window.ShowWindow(SW_SHOW);
  ::UpdateWindow(window.m_hWnd);
  Pump(500);
  for (auto& button : buttons) button->Invalidate();
  Pump(300);
  if (!SaveClientArea(window.m_hWnd, argv[1])) {
    std::fprintf(stderr, "uishot: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
