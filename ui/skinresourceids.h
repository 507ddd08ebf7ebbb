// Resource numbers of the artwork the skinned controls load themselves. The program's resource
// script carries pictures under these numbers.
#pragma once
#include <windows.h>

namespace skin {

// Check marks of the component list's rows, 13 × 13.
constexpr UINT kBmpRowUnselected = 134;
constexpr UINT kBmpRowSelected = 135;
constexpr UINT kBmpRowLocked = 136;

// The main dialog's start button: update look (74 × 20) and close look (79 × 21).
constexpr UINT kBmpStartUpdate = 138;
constexpr UINT kBmpStartUpdatePressed = 139;
constexpr UINT kBmpStartUpdateHover = 140;
constexpr UINT kBmpStartClose = 141;
constexpr UINT kBmpStartClosePressed = 142;
constexpr UINT kBmpStartCloseHover = 137;

// The progress bar's block, 5 × 10.
constexpr UINT kBmpProgressBlock = 147;

// The component list's images 0 to 3.
constexpr UINT kListIcons[] = {131, 132, 129, 130};

}  // namespace skin
