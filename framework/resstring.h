// Texts from the program's string table.
#pragma once
#include <windows.h>
#include <string>

namespace framework {

// The string resource `id` of the executable as multibyte text; empty when it does not exist.
std::string LoadResString(UINT id);
// The bitmap resource `id` of the executable; null when it does not exist or `id` is 0.
HBITMAP LoadResBitmap(UINT id);

}  // namespace framework
