// The view's answers to the edit-control queries: the whole text, lines and
// their positions, the first visible line, and the limits a host may set.
#pragma once

#include "colorview/view_state.h"

LRESULT OnGetText(HWND hwnd, WPARAM size, char* buffer);
LRESULT OnGetTextLength(HWND hwnd);
LRESULT OnGetState(HWND hwnd, ViewState** out);
