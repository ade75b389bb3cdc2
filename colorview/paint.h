// Painting of the colour text view: display lines drawn into the back buffer
// with the colours and styles their attribute bytes switch on, the selection
// highlight, tab fills, mask mode, the caret's place, one copy to the screen.
#pragma once

#include "colorview/view_state.h"

// Drawing state carried from character to character during one paint.
struct PaintPen {
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

// The pen at the start of a paint: no styles, the view's default colours.
void InitPaintPen(PaintPen* pen, const ViewState* vs);

LRESULT OnPaint(HWND hwnd);
LRESULT OnEraseBkgnd(HWND hwnd);

// Draws display line `line` into the back buffer `dc` and carries the pen on.
// The context must hold a font made by the calling operation (see
// BeginFontSwap): fonts displaced here are deleted.
void DrawDisplayLine(HDC dc, ViewState* vs, int line, PaintPen* pen);

// x at which the caret stands before `target` on display line `line` (the end
// of the line's text when target is null); leaves the pen's font selected.
// Same precondition on the context's font as DrawDisplayLine.
int XFromPosition(HDC dc, ViewState* vs, int line, PaintPen* pen, const char* target);

// The one text output routine: ExtTextOutA, or a masked copy in mask mode.
BOOL MaskedTextOut(HDC dc, int x, int y, UINT options, const RECT* rect, const char* text, UINT count);
