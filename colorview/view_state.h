// The per-window record of the colour text view and the helpers every unit of
// the view stands on. Positions are byte offsets into `text` in the system's
// ANSI (possibly double-byte) code page; a double-byte character (the rule
// is in lead_bytes.h) is never split.
#pragma once

#include <windows.h>

#include "colorview/colorview.h"
#include "colorview/lead_bytes.h"

enum { kFontVariants = 8 };  // bold | underline << 1 | italic << 2

struct ViewState {
    char* text;                 // NUL-terminated text without in-band codes
    unsigned char* attrFlags;   // per text byte: style changes taking effect there
    unsigned char* attrColors;  // per text byte: fg index low nibble, bg index high
    int capacity;               // bytes in each of the three buffers above
    int length;                 // bytes of text before the NUL
    int caret;                  // moving end of the selection
    int anchor;                 // fixed end of the selection
    int goalX;                  // x kept across vertical caret moves; 0 = none
    int* lineStart;             // offset of the first byte of each display line
    int* lineLength;            // counted bytes of each display line (no CR, LF)
    int lineCapacity;           // entries in each line table
    int lineCount;              // display lines in use: 1 <= lineCount < lineCapacity
    int logicalLineCount;       // line feeds + 1
    int layoutWidth;            // client width of the current layout; 0 forces a full one
    int topLine;                // first display line shown
    int maxTopLine;             // largest useful topLine
    int scrollLock;             // non-zero: appends never scroll the view
    int textLimit;              // 0, or the buffer size imposed by EM_LIMITTEXT
    int maxLines;               // 0, or the most logical lines kept
    int tabWidth;               // tab stop distance in columns
    int leftMargin;             // x at which every display line starts
    int rightMargin;            // pixels kept free at the right when wrapping
    int lineSpacing;            // extra pixels per line above the font height
    HDC memDC;                  // back buffer: all measuring and drawing
    HBITMAP backBitmap;         // client-sized DIB section selected into memDC
    HBITMAP oldBitmap;          // what memDC held before backBitmap
    char faceName[32];          // empty: any fixed-pitch face
    int pointSize;
    int lineHeight;
    int avgCharWidth;
    int fixedPitch;
    BYTE charSet;
    COLORREF textColor;
    COLORREF backColor;
    HBRUSH backBrush;   // solid brush of backColor
    HCURSOR hotCursor;  // not owned by the view
    int dragging;
    LeadBytes leadBytes;  // the system code page's lead bytes, read at creation

    // Fonts live from one font change to the next (making one is costly,
    // under Wine especially): each style variant is made on first use.
    HFONT fonts[kFontVariants];
    HGDIOBJ originalFont;  // what memDC held when it was made
    int selectedFont;      // variant selected in memDC, -1 for the original
    // Widths of single-byte characters in the regular and the bold variant,
    // measured once per font (a text extent per character is a call into
    // the graphics system, and layout measures every character).
    int byteWidths[2][256];
    int byteWidthsMeasured[2];

    // While text streams in, the screen and the scroll bar may lag the
    // record by one batch (scroll.h): what the screen shows and what is stale.
    int shownTopLine;        // topLine of the picture on screen; -1: none usable
    int dirtyLine;           // first display line whose picture is out of date
    int screenPending;       // the picture lags the record
    DWORD lastScreenUpdate;  // GetTickCount of the last catch-up
    int barPending;          // the scroll bar lags the record
    DWORD lastBarUpdate;     // GetTickCount of the scroll bar's last catch-up
    int catchUpTimerSet;     // the catch-up timer runs (scroll.h)
};

// Initial sizes and least growth steps of the buffers.
enum {
    kInitialCapacity = 4096,
    kCapacityStep = 4096,
    kInitialLineCapacity = 256,
    kLineCapacityStep = 256,
};

// The view's heap memory (the process's local heap). ViewAlloc zero-fills;
// ViewReAlloc may move the block, zero-fills what it adds and leaves the old
// block valid when it fails.
void* ViewAlloc(size_t bytes);
void* ViewReAlloc(void* block, size_t oldBytes, size_t newBytes);
void ViewFree(void* block);

// Fault injection for tests: when set to n > 0, the n-th allocation or
// re-allocation from now fails. 0 (the default) never fails one.
extern int g_viewAllocFailCountdown;

// The record in the window's user-data slot, or nullptr before creation has
// finished and once destruction has begun.
inline ViewState* GetViewState(HWND hwnd) {
    return reinterpret_cast<ViewState*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
}

// Bytes of the character at offset `pos`: 2 for a double-byte pair, else 1
// (the rule is in lead_bytes.h).
inline int CharBytes(const ViewState* vs, int pos) {
    return CharBytesIn(&vs->leadBytes, vs->text, pos);
}

inline bool IsLineBreak(char c) {
    return c == '\r' || c == '\n';
}

// The display line holding offset `pos`: the last line starting at or before it.
int LineFromOffset(const ViewState* vs, int pos);

// The start of the logical line holding offset `pos`: just after the nearest
// line feed before it, or 0; a style switched on in a logical line lasts to
// its end, so the state at a position is read from there. With `crEnds` a
// carriage return before `pos` ends a line too: Home stops after a lone CR
// as End stops in front of one. (A line break is never the trail byte of a
// pair, so the bytes can be read backwards.)
int LogicalLineStart(const char* text, int pos, bool crEnds = false);

// The first display line of the logical line that holds display line `line`.
int FirstLineOfLogicalLine(const ViewState* vs, int line);

// The display line drawn at client y: whole rows from topLine down. The
// division truncates toward zero, so a y less than a row above the client
// area still gives topLine.
inline int LineAtY(const ViewState* vs, int y) {
    return y / vs->lineHeight + vs->topLine;
}

// Bold state in force at offset `pos`: the bold toggles of the characters
// from the start of its logical line. Attributes are read at character
// starts only, so a code that landed on a trail byte (between the two
// appends that brought a pair) has no effect.
int BoldAt(const ViewState* vs, int pos);

inline int SelectionLow(const ViewState* vs) {
    return vs->caret < vs->anchor ? vs->caret : vs->anchor;
}
inline int SelectionHigh(const ViewState* vs) {
    return vs->caret < vs->anchor ? vs->anchor : vs->caret;
}

// The selection rule after a caret move: the anchor follows the caret unless
// Shift is held, so that Shift grows or shrinks the selection from it.
void ApplyAnchorRule(ViewState* vs);

// Frees whatever part of a record exists (buffers and the record itself);
// the GDI objects are released by their own unit first.
void FreeViewState(ViewState* vs);
