// Skinned scroll bars for an existing control: a frame takes the control's place, a clip window
// hides the control's own bars, two skin scroll bars stand where they were.
#pragma once
#include <windows.h>

class CSkinScrollWnd;

// Wraps `hWnd` (a control with a parent) with bars painted from `hSkin` (not owned; must outlive
// the control). The frame goes by itself when the control is destroyed.
CSkinScrollWnd* AttachSkinScroll(HWND hWnd, HBITMAP hSkin);
// Undoes the wrapping, when there is one. Always TRUE.
BOOL DetachSkinScroll(HWND hWnd);
