// Hit testing: the text position at a client point, measured exactly as the
// text is drawn, so that a click lands on the character painted there.
#pragma once

#include "colorview/view_state.h"

// The position between two characters nearest to where a caret at (x, y)
// would stand; always inside the text, never inside a double-byte pair.
char* PositionFromPoint(HWND hwnd, ViewState* vs, int x, int y);
