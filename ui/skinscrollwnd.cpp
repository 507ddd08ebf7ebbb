#include "ui/skinscrollwnd.h"

CSkinScrollWnd* AttachSkinScroll(HWND, HBITMAP) { return nullptr; }
BOOL DetachSkinScroll(HWND) { return TRUE; }
