// Hit testing: the text position at a client point, measured exactly as the
// text is drawn, so that a click lands on the character painted there.
#pragma once

#include "colorview/view_state.h"

// The position where a caret put at the client point (x, y) would stand:
// always inside the text, never between the two bytes of a double-byte
// character. Points above the text give its start, points below its end.
// Measures in the back buffer and leaves it holding the font it held on
// entry; changes nothing in the record.
char* PositionFromPoint(HWND hwnd, ViewState* vs, int x, int y);
