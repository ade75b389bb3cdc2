// The view's answers to the edit-control queries: the whole text, lines and
// their positions, the first visible line, and the limits a host may set.
#pragma once

#include "colorview/view_state.h"

LRESULT OnGetText(HWND hwnd, WPARAM size, char* buffer);
LRESULT OnGetTextLength(HWND hwnd);
LRESULT OnGetState(HWND hwnd, ViewState** out);
LRESULT OnGetLineCount(HWND hwnd);
LRESULT OnLineIndex(HWND hwnd, int line);
LRESULT OnLineLength(HWND hwnd, int pos);
LRESULT OnLineFromChar(HWND hwnd, int pos);
LRESULT OnGetLine(HWND hwnd, int line, char* buffer);
LRESULT OnLimitText(HWND hwnd, int limit);
LRESULT OnSetTabStops(HWND hwnd, int count, const int* stops);
LRESULT OnGetFirstVisibleLine(HWND hwnd);
LRESULT OnSetScrollLock(HWND hwnd, WPARAM hold);
LRESULT OnGetTextLines(HWND hwnd);
LRESULT OnIsFollowing(HWND hwnd);
