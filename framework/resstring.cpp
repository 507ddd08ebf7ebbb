#include "framework/resstring.h"

#include "framework/winapp.h"

namespace framework {

std::string LoadResString(UINT id) {
  // A string table entry holds at most 4097 UTF-16 units; in code page 949 each can take 2 bytes.
  char szText[8200];
  const int n = ::LoadStringA(::GetModuleHandleA(nullptr), id, szText, sizeof szText);
  return n > 0 ? std::string(szText, n) : std::string();
}

HBITMAP LoadResBitmap(UINT id) {
  if (id == 0) return nullptr;
  return ::LoadBitmapA(GetResourceHandle(), MAKEINTRESOURCEA(id));
}

}  // namespace framework
