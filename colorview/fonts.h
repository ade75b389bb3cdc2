// Fonts, colours and measurement of the colour text view. Each style variant
// of the view's font is made on first use and kept until the next font change
// or the view's end; all measuring and drawing go through the back buffer
// `memDC`, a DIB section of the client's size, so that drawing stays inside
// the process.
#pragma once

#include "colorview/view_state.h"

// A new font with the given styles; the caller owns it. The view itself
// makes its fonts through ViewFont, which keeps them.
HFONT MakeViewFont(HDC dc, const ViewState* vs, int bold, int underline, int italic);

// The one way fonts reach memDC: selects the kept variant (making it on first
// use). A variant that cannot be made leaves the context as it is.
void UseFont(ViewState* vs, int bold, int underline, int italic);

// Puts memDC's original font back and deletes every kept variant.
void ReleaseFonts(ViewState* vs);

// The extent of `n` bytes at offset `pos` in the bold (or regular) variant;
// a single byte's comes from the variant's table of byte widths.
int MeasuredWidth(ViewState* vs, int pos, int n, int bold);

// Pixel width of `n` bytes at offset `pos`: n average widths for non-bold
// text in a fixed-pitch font, else the extent measured with the bold (or
// regular) variant. Layout, painting, caret placement and hit testing all
// measure with this, through the line walker.
inline int RunWidth(ViewState* vs, int pos, int n, int bold) {
    if (n <= 0) return 0;
    if (vs->fixedPitch && !bold) return n * vs->avgCharWidth;
    return MeasuredWidth(vs, pos, n, bold);
}

// The back buffer: a memory DC with a client-sized DIB section.
bool CreateBackBuffer(HWND hwnd, ViewState* vs);
void RecreateBackBitmap(HWND hwnd, ViewState* vs);
void ReleaseBackBuffer(ViewState* vs);

LRESULT OnRecalcFont(HWND hwnd);
LRESULT OnSetFont(HWND hwnd, HFONT font);
LRESULT OnSetFontFace(HWND hwnd, int pointSize, const char* face);
LRESULT OnSetLineSpacing(HWND hwnd, int spacing);
LRESULT OnSetColors(HWND hwnd, WPARAM text, LPARAM back);
