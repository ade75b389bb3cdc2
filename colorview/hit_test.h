// Hit testing: the text position at a client point, measured exactly as the
// text is drawn, so that a click lands on the character painted there.
#pragma once

#include "colorview/view_state.h"

// The offset where a caret put at the client point (x, y) would stand:
// always inside the text, never between the two bytes of a double-byte
// character. Points above the text give its start, points below its end.
// Changes nothing in the record but the font selected in the back buffer.
int PositionFromPoint(HWND hwnd, ViewState* vs, int x, int y);
