// Vertical scrolling of the colour text view by scroll bar, wheel and
// EM_SCROLL, and the repaint of the rows between two text positions.
#pragma once

#include "colorview/view_state.h"

LRESULT OnVScroll(HWND hwnd, int code);
LRESULT OnMouseWheel(HWND hwnd, WPARAM wParam);
LRESULT OnEmScroll(HWND hwnd, WPARAM code);

// Invalidates (without erasing) the full-width rows holding the display
// lines from the line of `a` to the line of `b`, in either order.
void InvalidateTextRange(HWND hwnd, ViewState* vs, const char* a, const char* b);
