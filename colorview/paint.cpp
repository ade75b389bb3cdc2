// Painting of the colour text view. Each WM_PAINT clears the back buffer,
// draws the display lines that meet the update rectangle (starting at the
// first display line of their logical line, so styles switched on earlier
// in a wrapped line carry over), places the caret, and copies the update
// rectangle to the screen in one block copy.
#include "colorview/paint.h"

#include <cstring>

#include "colorview/color_codes.h"
#include "colorview/fonts.h"
#include "colorview/line_walker.h"
#include "colorview/scroll.h"

// Bytes that mask mode leaves as they are, so the shape of the text stays.
static const char kMaskDelimiters[] = {
    ' ', '(', ')', '[', ']', '{', '}', '<', '>',                           //
    '/', '!', '"', '#', '$', '%', '&', '\'', '=', '-', '.',               //
    '*', '+', ';', ':', '\\', '|', '~', '^', '\t',                         //
};
static_assert(sizeof(kMaskDelimiters) == 29, "the mask keeps 29 delimiter bytes");

static void ApplyColors(HDC dc, const RunState* ds) {
    SetTextColor(dc, ds->fg);
    SetBkColor(dc, ds->bg);
}

void InitRunState(RunState* ds, const ViewState* vs) {
    memset(ds, 0, sizeof(*ds));
    ds->fg = vs->textColor;
    ds->bg = vs->backColor;
}

BOOL MaskedTextOut(HDC dc, int x, int y, UINT options, const RECT* rect, const char* text, UINT count) {
    if (!g_maskMode) return ExtTextOutA(dc, x, y, options, rect, text, count, nullptr);
    char* copy = static_cast<char*>(ViewAlloc(count ? count : 1));
    // Without a copy the run is left undrawn: the real text must never show.
    if (!copy) return FALSE;
    // Byte by byte, not by character: a trail byte that equals a delimiter stays.
    for (UINT i = 0; i < count; i++)
        copy[i] = memchr(kMaskDelimiters, text[i], sizeof(kMaskDelimiters)) ? text[i] : 'X';
    BOOL drawn = ExtTextOutA(dc, x, y, options, rect, copy, count, nullptr);
    ViewFree(copy);
    return drawn;
}

// The pending run of one display line: the bytes from `start` on, drawn at
// `x` in one text output once the style or the selection changes.
struct LineRun {
    int start;  // offset of the first byte of the run
    int x;      // where it is drawn
    int top;    // top of the line's row
    int textY;  // y of the text: half the spacing below the top
};

// Draws the bytes from the run's start to `end` (whose left edge is `endX`,
// as the walker measured it) as one opaque run in the state's font.
static void FlushRun(ViewState* vs, const RunState* ds, LineRun* run, int end, int endX) {
    int n = end - run->start;
    if (n > 0) {
        UseFont(vs, ds->bold, ds->underline, ds->italic);
        RECT rect = {run->x, run->top, endX, run->top + vs->lineHeight};
        MaskedTextOut(vs->memDC, run->x, run->textY, ETO_OPAQUE, &rect, vs->text + run->start,
                      static_cast<UINT>(n));
    }
    run->start = end;
    run->x = endX;
}

// Applies the style changes of one flag byte to the state and the context,
// in the binding order: bold, underline, reset, italic, reverse, fg, bg.
static void ApplyAttributes(HDC dc, const ViewState* vs, RunState* ds, unsigned char flags,
                            unsigned char colors) {
    if (flags & kAttrBold) ds->bold ^= 1;
    if (flags & kAttrUnderline) ds->underline ^= 1;
    if (flags & kAttrReset) {
        ds->fg = vs->textColor;
        ds->bg = vs->backColor;
    }
    if (flags & kAttrItalic) ds->italic ^= 1;
    if (flags & kAttrReverse) {
        if (ds->reverse) {
            ds->reverse = 0;
            ds->fg = ds->savedFg;
            ds->bg = ds->savedBg;
        } else {
            // The view's default pair exchanged, whatever colours were in force.
            ds->reverse = 1;
            ds->savedFg = ds->fg;
            ds->savedBg = ds->bg;
            ds->fg = vs->backColor;
            ds->bg = vs->textColor;
        }
    }
    if (flags & kAttrFore) ds->fg = PaletteColor(colors & 0x0F);
    if (flags & kAttrBack) ds->bg = PaletteColor(colors >> 4);
    // Under the highlight the state still changes; the context keeps the highlight.
    if (!ds->selected) ApplyColors(dc, ds);
}

void DrawDisplayLine(ViewState* vs, int line, RunState* ds) {
    HDC dc = vs->memDC;
    LineRun run;
    run.start = vs->lineStart[line];
    run.x = vs->leftMargin;
    run.top = (line - vs->topLine) * vs->lineHeight;
    run.textY = run.top + vs->lineSpacing / 2;
    const int selLow = SelectionLow(vs), selHigh = SelectionHigh(vs);

    LineWalker w;
    StartLineWalk(&w, vs, line, ds->bold);
    while (TakeCharacter(&w)) {
        const int p = w.pos;
        if (vs->attrFlags[p]) {
            FlushRun(vs, ds, &run, p, w.x);
            ApplyAttributes(dc, vs, ds, vs->attrFlags[p], vs->attrColors[p]);
        }

        bool inSelection = p >= selLow && p < selHigh;
        if (inSelection && !ds->selected) {
            FlushRun(vs, ds, &run, p, w.x);
            // Read at every paint: the system's highlight pair, not an inversion.
            SetTextColor(dc, GetSysColor(COLOR_HIGHLIGHTTEXT));
            SetBkColor(dc, GetSysColor(COLOR_HIGHLIGHT));
            ds->selected = 1;
        } else if (!inSelection && ds->selected) {
            FlushRun(vs, ds, &run, p, w.x);
            ApplyColors(dc, ds);
            ds->selected = 0;
        }

        const char c = vs->text[p];
        if (c == '\r') {
            // A carriage return inside the line takes no room and is not drawn.
            FlushRun(vs, ds, &run, p, w.x);
            run.start = w.next;
        } else if (c == '\t') {
            FlushRun(vs, ds, &run, p, w.x);
            // The context's background: the highlight when selected, else the state's.
            RECT rect = {w.x, run.top, w.x + w.width, run.top + vs->lineHeight};
            HBRUSH brush = CreateSolidBrush(GetBkColor(dc));
            if (brush) {
                FillRect(dc, &rect, brush);
                DeleteObject(brush);
            }
            run.start = w.next;
            run.x = w.nextX;
        } else if (ds->bold) {
            // Bold text is drawn a character at a time, where it was measured.
            FlushRun(vs, ds, &run, p, w.x);
        }
    }
    FlushRun(vs, ds, &run, w.pos, w.x);

    // A hard line end (the next display line follows a line feed) returns to
    // the defaults; a soft wrap carries everything on.
    if (line + 1 < vs->lineCount && vs->text[vs->lineStart[line + 1] - 1] == '\n') {
        ds->fg = vs->textColor;
        ds->bg = vs->backColor;
        ApplyColors(dc, ds);
        ds->selected = ds->bold = ds->underline = ds->reverse = ds->italic = 0;
    }
}

int XFromPosition(ViewState* vs, int line, const RunState* ds, int target) {
    LineWalker w;
    StartLineWalk(&w, vs, line, ds->bold);
    while (TakeCharacter(&w)) {
        if (target >= 0 && w.pos >= target) break;
    }
    return w.x;
}

static void PlaceCaret(ViewState* vs, int line, const RunState* ds) {
    SetCaretPos(XFromPosition(vs, line, ds, vs->caret), (line - vs->topLine) * vs->lineHeight);
}

void PlaceSystemCaret(HWND hwnd, ViewState* vs) {
    if (GetFocus() != hwnd) return;
    int line = LineFromOffset(vs, vs->caret);
    RunState at;
    InitRunState(&at, vs);
    at.bold = BoldAt(vs, vs->lineStart[line]);
    PlaceCaret(vs, line, &at);
}

LRESULT OnPaint(HWND hwnd) {
    ViewState* vs = GetViewState(hwnd);
    // Text that arrived since the last catch-up moves the picture first, so
    // that the update region below covers everything out of date.
    if (vs) CatchUpScreen(hwnd, vs);
    PAINTSTRUCT ps;
    HDC windowDC = BeginPaint(hwnd, &ps);
    // Without a record there is nothing to draw, but the update region must
    // still be validated or the paint message would come back for ever.
    if (!vs) {
        EndPaint(hwnd, &ps);
        return 0;
    }
    RECT client;
    GetClientRect(hwnd, &client);
    RECT area;
    IntersectRect(&area, &client, &ps.rcPaint);
    HDC dc = vs->memDC;
    UseFont(vs, 0, 0, 0);
    FillRect(dc, &area, vs->backBrush);

    int caretLine = GetFocus() == hwnd ? LineFromOffset(vs, vs->caret) : -1;
    RunState ds;
    InitRunState(&ds, vs);
    ApplyColors(dc, &ds);

    int first = LineAtY(vs, ps.rcPaint.top);
    if (first >= vs->lineCount) first = vs->lineCount - 1;
    // Lines above the top are drawn at negative y, outside the bitmap, only
    // to carry the state through the logical line.
    first = FirstLineOfLogicalLine(vs, first);
    int end = LineAtY(vs, ps.rcPaint.bottom) + 1;
    for (int line = first; line < vs->lineCount && line < end; line++) {
        if (line == caretLine) {
            PlaceCaret(vs, line, &ds);
            caretLine = -1;
        }
        DrawDisplayLine(vs, line, &ds);
    }
    // The caret's line lies outside the update: measured in the bold state
    // its logical line reaches there (what the last drawn line left would
    // belong to another line).
    if (caretLine >= 0 && GetFocus() == hwnd) PlaceSystemCaret(hwnd, vs);

    BitBlt(windowDC, ps.rcPaint.left, ps.rcPaint.top, ps.rcPaint.right - ps.rcPaint.left,
           ps.rcPaint.bottom - ps.rcPaint.top, dc, ps.rcPaint.left, ps.rcPaint.top, SRCCOPY);
    UseFont(vs, 0, 0, 0);
    EndPaint(hwnd, &ps);
    return 0;
}

LRESULT OnEraseBkgnd(HWND hwnd) {
    // The paint clears the back buffer itself; erasing here would only flicker.
    return GetViewState(hwnd) ? 1 : 0;
}
