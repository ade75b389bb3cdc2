// Painting of the colour text view: display lines drawn into the back buffer
// with the colours and styles their attribute bytes switch on, the selection
// highlight, tab fills, mask mode, the caret's place, one copy to the screen.
#pragma once

#include "colorview/view_state.h"

// The drawing state carried from character to character during one paint:
// styles, colours and whether the highlight is in the context.
struct RunState {
    int selected;  // 1 while the context holds the highlight colours
    int bold;
    int underline;
    int reverse;
    int italic;
    COLORREF fg;
    COLORREF bg;
    COLORREF savedFg;  // colours in force when reverse was switched on
    COLORREF savedBg;
};

// The state at the start of a paint: no styles, the view's default colours.
void InitRunState(RunState* ds, const ViewState* vs);

LRESULT OnPaint(HWND hwnd);
LRESULT OnEraseBkgnd(HWND hwnd);

// Draws display line `line` into the back buffer and carries the state on.
void DrawDisplayLine(ViewState* vs, int line, RunState* ds);

// x at which the caret stands before offset `target` on display line `line`,
// or at the end of the line's text when target is -1; measured in the bold
// state `ds` carries into the line, as hit testing measures.
int XFromPosition(ViewState* vs, int line, const RunState* ds, int target);

// Puts the system caret (when the view has the focus) where the caret
// stands, whether or not its line is repainted.
void PlaceSystemCaret(HWND hwnd, ViewState* vs);

// The one text output routine: ExtTextOutA, or a masked copy in mask mode.
BOOL MaskedTextOut(HDC dc, int x, int y, UINT options, const RECT* rect, const char* text, UINT count);
