// Caret, selection and keyboard of the colour text view: the keys that move
// the caret and select, the system caret across focus changes, and the
// edit-compatible selection messages.
#pragma once

#include "colorview/view_state.h"

LRESULT OnKeyDown(HWND hwnd, WPARAM key);
LRESULT OnSetFocus(HWND hwnd);
LRESULT OnKillFocus(HWND hwnd);
LRESULT OnGetSel(HWND hwnd, DWORD* start, DWORD* end);
LRESULT OnSetSel(HWND hwnd, WPARAM one, LPARAM other);
LRESULT OnScrollCaret(HWND hwnd);

// Shows the text between the old and the new caret and selection: the rows
// of an old selection that changed and those from the old to the new caret
// are repainted before it returns.
void RepaintSelectionChange(HWND hwnd, ViewState* vs, int oldCaret, int oldAnchor);

// After a caret move by keys: brings display line `target` (the caret's)
// into view by moving the picture, then repaints as RepaintSelectionChange.
void BringIntoView(HWND hwnd, ViewState* vs, int target, int oldCaret, int oldAnchor);
