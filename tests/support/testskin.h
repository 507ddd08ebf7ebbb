// A skin bitmap for the scroll bars drawn in code: nine columns of side x side squares and
// `rows` rows. Every square has its own colour (SkinColour); thumb squares (columns 2 and 6)
// have their first and last 3 pixels along the bar in ThumbStartColour / ThumbEndColour, so the
// unstretched ends can be told from the middle. (The controls' resource pictures are made by
// tests/ui/make_test_skin.py.)
#pragma once
#include <windows.h>

#include "framework/scopedhandle.h"

namespace testsupport {

framework::UniqueBitmap MakeSkin(int side, int rows);
COLORREF SkinColour(int column, int row);
COLORREF ThumbStartColour(int row);
COLORREF ThumbEndColour(int row);

}  // namespace testsupport
