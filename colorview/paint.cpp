// Painting of the colour text view. Each WM_PAINT clears the back buffer,
// draws the display lines that meet the update rectangle (starting at the
// first display line of their logical line, so styles switched on earlier
// in a wrapped line carry over), places the caret, and copies the update
// rectangle to the screen in one block copy.
#include "colorview/paint.h"

#include <cstring>

#include "colorview/color_codes.h"
#include "colorview/fonts.h"

// Bytes that mask mode leaves as they are, so the shape of the text stays.
static const char kMaskDelimiters[] = {
    ' ', '(', ')', '[', ']', '{', '}', '<', '>',                           //
    '/', '!', '"', '#', '$', '%', '&', '\'', '=', '-', '.',               //
    '*', '+', ';', ':', '\\', '|', '~', '^', '\t',                         //
};
static_assert(sizeof(kMaskDelimiters) == 29, "the mask keeps 29 delimiter bytes");

// Replaces the font of a context that already holds a font made by the
// current operation (the paint swapped its own in and kept the original
// aside), so the displaced one is ours to delete. A font that cannot be made
// leaves the context as it is.
static void ReplaceFont(HDC dc, HFONT font) {
    if (!font) return;
    HGDIOBJ displaced = SelectObject(dc, font);
    if (displaced)
        DeleteObject(displaced);
    else
        DeleteObject(font);
}

static void SelectPenFont(HDC dc, const ViewState* vs, const PaintPen* pen) {
    ReplaceFont(dc, MakeViewFont(dc, vs, pen->bold, pen->underline, pen->italic));
}

static void ApplyPenColors(HDC dc, const PaintPen* pen) {
    SetTextColor(dc, pen->fg);
    SetBkColor(dc, pen->bg);
}

void InitPaintPen(PaintPen* pen, const ViewState* vs) {
    memset(pen, 0, sizeof(*pen));
    pen->fg = vs->textColor;
    pen->bg = vs->backColor;
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

// Where the next run of one display line starts and what it is drawn over.
struct LineRun {
    const char* start;  // first byte of the pending run
    int x;              // where the pending run is drawn
    int top;            // top of the line's row
    int textY;          // y of the text: half the spacing below the top
};

// Draws the bytes from the run's start to `end` as one opaque run.
static void FlushRun(HDC dc, const ViewState* vs, const PaintPen* pen, LineRun* run, const char* end) {
    int n = static_cast<int>(end - run->start);
    if (n <= 0) return;
    int width = RunWidth(vs, run->start, n, pen->bold);
    RECT rect = {run->x, run->top, run->x + width, run->top + vs->lineHeight};
    MaskedTextOut(dc, run->x, run->textY, ETO_OPAQUE, &rect, run->start, static_cast<UINT>(n));
    run->x += width;
    run->start = end;
}

// Applies the style changes of one flag byte to the pen and the context, in
// the binding order: bold, underline, reset, italic, reverse, fg, bg.
static void ApplyAttributes(HDC dc, const ViewState* vs, PaintPen* pen, unsigned char flags,
                            unsigned char colors) {
    if (flags & kAttrBold) {
        pen->bold ^= 1;
        SelectPenFont(dc, vs, pen);
    }
    if (flags & kAttrUnderline) {
        pen->underline ^= 1;
        SelectPenFont(dc, vs, pen);
    }
    if (flags & kAttrReset) {
        pen->fg = vs->textColor;
        pen->bg = vs->backColor;
    }
    if (flags & kAttrItalic) {
        pen->italic ^= 1;
        SelectPenFont(dc, vs, pen);
    }
    if (flags & kAttrReverse) {
        if (pen->reverse) {
            pen->reverse = 0;
            pen->fg = pen->savedFg;
            pen->bg = pen->savedBg;
        } else {
            // The view's default pair exchanged, whatever colours were in force.
            pen->reverse = 1;
            pen->savedFg = pen->fg;
            pen->savedBg = pen->bg;
            pen->fg = vs->backColor;
            pen->bg = vs->textColor;
        }
    }
    if (flags & kAttrFore) pen->fg = PaletteColor(colors & 0x0F);
    if (flags & kAttrBack) pen->bg = PaletteColor(colors >> 4);
    // Under the highlight the pen still changes; the context keeps the highlight.
    if (!pen->selected) ApplyPenColors(dc, pen);
}

void DrawDisplayLine(HDC dc, ViewState* vs, int line, PaintPen* pen) {
    const char* p = vs->text + vs->lineStart[line];
    LineRun run;
    run.start = p;
    run.x = vs->leftMargin;
    run.top = (line - vs->topLine) * vs->lineHeight;
    run.textY = run.top + vs->lineSpacing / 2;
    int column = 0;  // tab column in bytes: a double-byte character counts 2
    const char* selLow = vs->caret < vs->anchor ? vs->caret : vs->anchor;
    const char* selHigh = vs->caret < vs->anchor ? vs->anchor : vs->caret;

    // The line's counted bytes; a carriage return inside it is walked over
    // uncounted, as layout does, so that the line's last character is drawn.
    for (int i = 0; i < vs->lineLength[line]; p++) {
        int offset = Offset(vs, p);
        if (vs->attrFlags[offset]) {
            FlushRun(dc, vs, pen, &run, p);
            ApplyAttributes(dc, vs, pen, vs->attrFlags[offset], vs->attrColors[offset]);
        }

        bool inSelection = p >= selLow && p < selHigh;
        if (inSelection && !pen->selected) {
            FlushRun(dc, vs, pen, &run, p);
            // Read at every paint: the system's highlight pair, not an inversion.
            SetTextColor(dc, GetSysColor(COLOR_HIGHLIGHTTEXT));
            SetBkColor(dc, GetSysColor(COLOR_HIGHLIGHT));
            pen->selected = 1;
        } else if (!inSelection && pen->selected) {
            FlushRun(dc, vs, pen, &run, p);
            ApplyPenColors(dc, pen);
            pen->selected = 0;
        }

        if (*p == '\r') {
            FlushRun(dc, vs, pen, &run, p);  // takes no room and is not drawn
            run.start = p + 1;
        } else if (*p == '\t') {
            FlushRun(dc, vs, pen, &run, p);
            int columns = vs->tabWidth - column % vs->tabWidth;
            int width = columns * vs->avgCharWidth;
            // The context's background: the highlight when selected, else the pen's.
            RECT rect = {run.x, run.top, run.x + width, run.top + vs->lineHeight};
            HBRUSH brush = CreateSolidBrush(GetBkColor(dc));
            if (brush) {
                FillRect(dc, &rect, brush);
                DeleteObject(brush);
            }
            run.x += width;
            column += columns;
            run.start = p + 1;
            i++;
        } else {
            // Bold text is drawn a character at a time, measured by its real extent.
            if (pen->bold) FlushRun(dc, vs, pen, &run, p);
            int bytes = CharBytes(vs->text, offset);
            p += bytes - 1;
            i += bytes;
            column += bytes;
        }
    }
    FlushRun(dc, vs, pen, &run, p);

    // A hard line end (the next display line follows a line feed) returns to
    // the defaults; a soft wrap carries everything on.
    if (line + 1 < vs->lineCount && vs->text[vs->lineStart[line + 1] - 1] == '\n') {
        pen->fg = vs->textColor;
        pen->bg = vs->backColor;
        ApplyPenColors(dc, pen);
        pen->selected = pen->bold = pen->underline = pen->reverse = pen->italic = 0;
        SelectPenFont(dc, vs, pen);
    }
}

int XFromPosition(HDC dc, ViewState* vs, int line, PaintPen* pen, const char* target) {
    int bold = pen->bold;
    // Measure with fonts made from the bold flag alone, as layout and hit
    // testing do, so that the caret lands where a click would.
    ReplaceFont(dc, MakeViewFont(dc, vs, bold, 0, 0));
    const char* p = vs->text + vs->lineStart[line];
    const char* runStart = p;
    int x = vs->leftMargin;
    int column = 0;

    for (int i = 0; i < vs->lineLength[line]; p++) {
        int offset = Offset(vs, p);
        if (vs->attrFlags[offset] & kAttrBold) {
            x += RunWidth(vs, runStart, static_cast<int>(p - runStart), bold);
            runStart = p;
            bold ^= 1;
            ReplaceFont(dc, MakeViewFont(dc, vs, bold, 0, 0));
        }
        if (target && p >= target) break;
        if (*p == '\r') {
            x += RunWidth(vs, runStart, static_cast<int>(p - runStart), bold);
            runStart = p + 1;
        } else if (*p == '\t') {
            x += RunWidth(vs, runStart, static_cast<int>(p - runStart), bold);
            int columns = vs->tabWidth - column % vs->tabWidth;
            x += columns * vs->avgCharWidth;
            column += columns;
            runStart = p + 1;
            i++;
        } else {
            if (bold) {
                x += RunWidth(vs, runStart, static_cast<int>(p - runStart), 1);
                runStart = p;
            }
            int bytes = CharBytes(vs->text, offset);
            p += bytes - 1;
            i += bytes;
            column += bytes;
        }
    }
    x += RunWidth(vs, runStart, static_cast<int>(p - runStart), bold);
    SelectPenFont(dc, vs, pen);
    return x;
}

static void PlaceCaret(HDC dc, ViewState* vs, int line, PaintPen* pen) {
    int x = XFromPosition(dc, vs, line, pen, vs->caret);
    SetCaretPos(x, (line - vs->topLine) * vs->lineHeight);
}

LRESULT OnPaint(HWND hwnd) {
    PAINTSTRUCT ps;
    HDC windowDC = BeginPaint(hwnd, &ps);
    ViewState* vs = GetViewState(hwnd);
    // Without a record there is nothing to draw, but the update region must
    // still be validated or the paint message would come back for ever.
    if (!vs) {
        EndPaint(hwnd, &ps);
        return 0;
    }
    RECT client;
    GetClientRect(hwnd, &client);
    HDC dc = vs->memDC;
    FontSwap fonts;
    BeginFontSwap(&fonts, dc);
    SwapViewFont(&fonts, vs, 0, 0, 0);
    FillRect(dc, &client, vs->backBrush);

    int caretLine = GetFocus() == hwnd ? LineFromOffset(vs, Offset(vs, vs->caret)) : -1;
    PaintPen pen;
    InitPaintPen(&pen, vs);
    ApplyPenColors(dc, &pen);

    int first = ps.rcPaint.top / vs->lineHeight + vs->topLine;
    if (first >= vs->lineCount) first = vs->lineCount - 1;
    // Lines above the top are drawn at negative y, outside the bitmap, only
    // to carry the pen through the logical line.
    first = FirstLineOfLogicalLine(vs, first);
    int end = vs->topLine + ps.rcPaint.bottom / vs->lineHeight + 1;
    for (int line = first; line < vs->lineCount && line < end; line++) {
        if (line == caretLine) {
            PlaceCaret(dc, vs, line, &pen);
            caretLine = -1;
        }
        DrawDisplayLine(dc, vs, line, &pen);
    }
    // The caret's line lies outside the update: measured with the pen as left.
    if (caretLine >= 0 && GetFocus() == hwnd) PlaceCaret(dc, vs, caretLine, &pen);

    BitBlt(windowDC, ps.rcPaint.left, ps.rcPaint.top, ps.rcPaint.right - ps.rcPaint.left,
           ps.rcPaint.bottom - ps.rcPaint.top, dc, ps.rcPaint.left, ps.rcPaint.top, SRCCOPY);
    EndFontSwap(&fonts);
    EndPaint(hwnd, &ps);
    return 0;
}

LRESULT OnEraseBkgnd(HWND hwnd) {
    // The paint clears the back buffer itself; erasing here would only flicker.
    return GetViewState(hwnd) ? 1 : 0;
}
