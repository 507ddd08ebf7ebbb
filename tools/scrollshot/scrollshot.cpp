// Shows the update window's notice box as the user sees it, wrapped with skinned scroll bars and
// scrolled a little both ways, and saves a picture of the window:
//   scrollshot.exe OUT.bmp [SKIN.bmp]
// Without SKIN.bmp (nine square columns, see ui/scrollgeometry.h) a skin drawn here is used.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "framework/dibsection.h"
#include "framework/scopedhandle.h"
#include "framework/wnd.h"
#include "ui/skinscrollwnd.h"

namespace {

constexpr int kSide = 17;
// The notice box of the update window: 139 x 96 dialog units of its 9-point font.
constexpr RECT kNoticeRect{16, 16, 16 + 244, 16 + 145};
constexpr int kNoticeId = 1019;

const char kNotice[] =
    "탈보 3.41 업데이트 안내\r\n"
    "\r\n"
    "- 검색 속도가 빨라졌습니다. 많은 파일을 찾을 때에도 결과가 바로 나옵니다.\r\n"
    "- 로그인 엔진이 1.0.0.8 로 바뀌었습니다.\r\n"
    "- 서버 목록이 새로 고쳐졌습니다.\r\n"
    "- 검색어 필터가 새 단어를 알게 되었습니다.\r\n"
    "- 내려받기가 끊겼을 때 이어 받기가 더 잘 됩니다.\r\n"
    "- 최적화 설정이 바뀌었습니다.\r\n"
    "\r\n"
    "업데이트 중에는 탈보를 끄지 마십시오.\r\n"
    "업데이트가 끝나면 탈보가 다시 시작됩니다.\r\n"
    "\r\n"
    "문의: 고객 센터 (평일 오전 10시부터 오후 6시까지)\r\n"
    "감사합니다.";

struct Rgb {
  int r, g, b;
};

DWORD Pack(Rgb c) { return (static_cast<DWORD>(c.r) << 16) | (static_cast<DWORD>(c.g) << 8) | c.b; }

Rgb Mix(Rgb a, Rgb b, int t, int of) {
  return Rgb{a.r + (b.r - a.r) * t / of, a.g + (b.g - a.g) * t / of, a.b + (b.b - a.b) * t / of};
}

// One pixel of a square of the skin drawn here, in the square's own coordinates. `along` runs
// along the bar, `across` across it, so the horizontal squares are the vertical ones turned.
Rgb SkinPixel(int part, int along, int across) {
  const Rgb frame{112, 128, 156}, light{238, 242, 248}, face{206, 216, 232}, ink{60, 72, 96};
  const Rgb thumbFace{150, 176, 218}, thumbLight{196, 212, 238}, track{226, 231, 240};
  const int last = kSide - 1;
  const bool edge = along == 0 || along == last || across == 0 || across == last;
  switch (part) {
    case 0:
    case 1: {  // arrows: a face shaded across, a triangle pointing outwards
      if (edge) return frame;
      const int tip = part == 0 ? along : last - along;  // distance from the outer end
      const int half = tip - 5;                          // the triangle's half width at this row
      if (tip >= 6 && tip <= 10 && across >= 8 - half + 1 && across <= 8 + half - 1) return ink;
      return Mix(light, face, across, last);
    }
    case 2: {  // thumb: rounded 3-pixel ends kept as they are, a plain middle tiled between them
      const bool corner = (along == 0 || along == last) && (across <= 1 || across >= last - 1);
      if (corner) return track;
      if (edge) return frame;
      if (across == 1 || along == 1) return thumbLight;
      return Mix(thumbLight, thumbFace, across, last);
    }
    case 3:  // track: a soft groove
      if (across == 0 || across == last) return Mix(track, frame, 1, 3);
      return track;
    default:  // corner
      return track;
  }
}

framework::UniqueBitmap DrawSkin() {
  void* bits = nullptr;
  framework::UniqueBitmap skin = framework::CreateTopDownDib(9 * kSide, kSide, &bits);
  if (!skin) return skin;
  auto* pixels = static_cast<DWORD*>(bits);
  for (int y = 0; y < kSide; ++y) {
    for (int x = 0; x < 9 * kSide; ++x) {
      const int column = x / kSide, sx = x % kSide;
      const bool horizontal = column >= 4 && column < 8;
      const int part = column == 8 ? 8 : column % 4;
      pixels[y * 9 * kSide + x] = Pack(horizontal ? SkinPixel(part, sx, y) : SkinPixel(part, y, sx));
    }
  }
  ::GdiFlush();
  return skin;
}

// The panel behind the notice box: a light face with a frame around the box.
class PanelWnd : public framework::CWnd {
 public:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message != WM_ERASEBKGND) return Default();
    const HDC dc = reinterpret_cast<HDC>(wParam);
    RECT rc = GetClientRect();
    framework::UniqueGdiObject face(::CreateSolidBrush(RGB(244, 246, 250)));
    ::FillRect(dc, &rc, static_cast<HBRUSH>(face.Get()));
    RECT frame = kNoticeRect;
    ::InflateRect(&frame, 1, 1);
    framework::UniqueGdiObject line(::CreateSolidBrush(RGB(150, 162, 184)));
    ::FrameRect(dc, &frame, static_cast<HBRUSH>(line.Get()));
    return TRUE;
  }
};

bool SaveWindowPicture(HWND hWnd, const char* path) {
  RECT rc{};
  ::GetClientRect(hWnd, &rc);
  const int width = rc.right, height = rc.bottom;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;  // bottom-up, as a BMP file keeps it
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  framework::UniqueBitmap dib(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!dib) return false;
  {
    framework::ScopedWindowDC screen(hWnd);
    framework::UniqueMemoryDC memory(::CreateCompatibleDC(screen.Get()));
    framework::ScopedSelectObject select(memory.Get(), dib.Get());
    ::BitBlt(memory.Get(), 0, 0, width, height, screen.Get(), 0, 0, SRCCOPY);
  }
  ::GdiFlush();
  const DWORD imageSize = static_cast<DWORD>(width) * height * 4;
  BITMAPFILEHEADER header{};
  header.bfType = 0x4D42;
  header.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
  header.bfSize = header.bfOffBits + imageSize;
  FILE* file = std::fopen(path, "wb");
  if (!file) return false;
  bool ok = std::fwrite(&header, sizeof(header), 1, file) == 1 &&
            std::fwrite(&info.bmiHeader, sizeof(info.bmiHeader), 1, file) == 1 &&
            std::fwrite(bits, imageSize, 1, file) == 1;
  ok = std::fclose(file) == 0 && ok;
  return ok;
}

void PumpFor(DWORD ms) {
  const DWORD start = ::GetTickCount();
  while (::GetTickCount() - start < ms) {
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageA(&msg);
    }
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: scrollshot OUT.bmp [SKIN.bmp]\n");
    return 2;
  }
  framework::UniqueBitmap skin;
  if (argc > 2) {
    skin.Reset(::LoadImageA(nullptr, argv[2], IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION));
    if (!skin) {
      std::fprintf(stderr, "scrollshot: cannot read the skin %s\n", argv[2]);
      return 1;
    }
  } else {
    skin = DrawSkin();
  }

  PanelWnd panel;
  const RECT window{0, 0, kNoticeRect.right + 16, kNoticeRect.bottom + 16};
  if (!panel.CreateEx(0, framework::DefaultWndClass(), "scrollshot", WS_POPUP | WS_VISIBLE, window, nullptr, 0))
    return 1;
  // As the update window's template has it: multi-line, both scroll bars, no border.
  const HWND notice = ::CreateWindowExA(
      0, "EDIT", "", WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_NOHIDESEL |
      ES_AUTOVSCROLL | ES_AUTOHSCROLL, kNoticeRect.left, kNoticeRect.top, kNoticeRect.right - kNoticeRect.left,
      kNoticeRect.bottom - kNoticeRect.top, panel.m_hWnd, reinterpret_cast<HMENU>(kNoticeId), nullptr, nullptr);
  framework::UniqueGdiObject font(::CreateFontA(-12, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, HANGUL_CHARSET,
                                                OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                                DEFAULT_PITCH | FF_DONTCARE, "굴림"));
  ::SendMessageA(notice, WM_SETFONT, reinterpret_cast<WPARAM>(font.Get()), FALSE);

  // The update window's order: wrap, then the text, then the margins.
  AttachSkinScroll(notice, static_cast<HBITMAP>(skin.Get()));
  ::SetWindowTextA(notice, kNotice);
  ::SendMessageA(notice, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, MAKELPARAM(5, 3));
  PumpFor(300);
  // A little way into the text both ways, so both thumbs stand away from their starts.
  ::SendMessageA(notice, EM_LINESCROLL, 4, 3);
  PumpFor(1200);

  const bool saved = SaveWindowPicture(panel.m_hWnd, argv[1]);
  if (!saved) std::fprintf(stderr, "scrollshot: cannot write %s\n", argv[1]);
  return saved ? 0 : 1;
}
