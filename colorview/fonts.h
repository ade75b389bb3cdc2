// Fonts, colours and measurement of the colour text view: every font is made
// on demand from the record's face, size and character set and lives for one
// operation; all measuring and drawing go through the back buffer `memDC`.
#pragma once

#include "colorview/view_state.h"

// A new font with the given styles; the caller selects it and owns it.
HFONT MakeViewFont(HDC dc, const ViewState* vs, int bold, int underline, int italic);

// Pixel width of `n` bytes at `p` with the font selected in memDC: n average
// widths for non-bold text in a fixed-pitch font, else the measured extent.
// Layout, painting, caret placement and hit testing all measure with this.
int RunWidth(const ViewState* vs, const char* p, int n, int bold);

// The font-swap discipline of one operation: the first swap keeps the font
// the context held on entry, later swaps delete the font they displace, and
// EndFontSwap puts the kept font back and deletes the last one made.
struct FontSwap {
    HDC dc;
    HGDIOBJ kept;
};
void BeginFontSwap(FontSwap* fs, HDC dc);
void SwapFont(FontSwap* fs, HFONT font);
void SwapViewFont(FontSwap* fs, const ViewState* vs, int bold, int underline, int italic);
void EndFontSwap(FontSwap* fs);

// The back buffer: a memory DC with a client-sized bitmap.
bool CreateBackBuffer(HWND hwnd, ViewState* vs);
void RecreateBackBitmap(HWND hwnd, ViewState* vs);
void ReleaseBackBuffer(ViewState* vs);

LRESULT OnRecalcFont(HWND hwnd);
LRESULT OnSetFont(HWND hwnd, HFONT font);
LRESULT OnSetFontFace(HWND hwnd, int pointSize, const char* face);
LRESULT OnSetLineSpacing(HWND hwnd, int spacing);
LRESULT OnSetColors(HWND hwnd, WPARAM text, LPARAM back);
