// Mouse selection: a press puts the caret (and, without Shift, the anchor) at
// the pointer and captures the mouse; moves with the button held drag the
// caret, scrolling the view by as many rows as the pointer lies beyond the
// top or bottom (there is no timer: only moves scroll). A double click or a
// right press with the left button held sends the parent the text from the
// word at the pointer to the end of its line.
#include "colorview/mouse.h"

#include <cstring>

#include "colorview/caret_keyboard.h"
#include "colorview/color_codes.h"
#include "colorview/hit_test.h"
#include "colorview/scroll.h"

static short PointX(LPARAM point) {
    return static_cast<short>(LOWORD(point));
}
static short PointY(LPARAM point) {
    return static_cast<short>(HIWORD(point));
}

// The hot cursor over a character of a hot region, else the I-beam.
static void ChooseCursor(HWND hwnd, ViewState* vs, int x, int y) {
    if (vs->hotCursor && (vs->attrFlags[PositionFromPoint(hwnd, vs, x, y)] & kAttrHot)) {
        SetCursor(vs->hotCursor);
        return;
    }
    SetCursor(LoadCursor(nullptr, IDC_IBEAM));
}

// Scrolls so that line `line` (where the pointer is) comes into view: up to
// line 0 at most, and downwards only when there is something below.
static void AutoScroll(HWND hwnd, ViewState* vs, int line) {
    if (line < vs->topLine) {
        MoveView(hwnd, vs, line < 0 ? 0 : line);
    } else if (line >= vs->topLine + VisibleRows(hwnd, vs) && vs->maxTopLine != 0) {
        if (line > vs->lineCount - 1) line = vs->lineCount - 1;
        MoveView(hwnd, vs, line - VisibleRows(hwnd, vs) + 1);
    }
}

LRESULT OnMouseSelect(HWND hwnd, UINT msg, WPARAM keys, LPARAM point) {
    ViewState* vs = GetViewState(hwnd);
    if (!vs) return 0;
    const int x = PointX(point), y = PointY(point);
    vs->goalX = 0;
    const int oldCaret = vs->caret, oldAnchor = vs->anchor;
    ChooseCursor(hwnd, vs, x, y);
    if (msg == WM_MOUSEMOVE) {
        if (!(keys & MK_LBUTTON) || !vs->dragging) return 0;
    } else if (msg == WM_LBUTTONDOWN) {
        SetCapture(hwnd);
        vs->dragging = 1;
    } else {
        if (!vs->dragging) return 0;
        ReleaseCapture();
        vs->dragging = 0;
    }
    SetFocus(hwnd);
    CatchUpScreen(hwnd, vs);
    int line = LineAtY(vs, y);
    vs->caret = PositionFromPoint(hwnd, vs, x, y);
    AutoScroll(hwnd, vs, line);
    // Only the press moves the anchor; moves and the release drag the caret.
    if (msg == WM_LBUTTONDOWN) ApplyAnchorRule(vs);
    RepaintSelectionChange(hwnd, vs, oldCaret, oldAnchor);
    return 0;
}

// The text from the start of the word at `pos` (after the nearest space
// before it, across line breaks) to the end of its line (its LF excluded).
static void WordToLineEnd(const ViewState* vs, int pos, int* start, int* end) {
    int s = pos;
    while (s > 0 && vs->text[s] != ' ') s--;
    *start = vs->text[s] == ' ' ? s + 1 : s;
    int e = pos;
    while (vs->text[e] && vs->text[e] != '\n') e++;
    *end = e;
}

LRESULT OnMouseNotify(HWND hwnd, UINT msg, WPARAM keys, LPARAM point) {
    ViewState* vs = GetViewState(hwnd);
    // A right press alone opens the context menu on its release instead.
    if (!vs || !(keys & MK_LBUTTON)) return 0;
    vs->goalX = 0;
    const int oldCaret = vs->caret, oldAnchor = vs->anchor;
    vs->anchor = vs->caret;  // the selection collapses where the caret is
    int pos = PositionFromPoint(hwnd, vs, PointX(point), PointY(point));
    if (vs->hotCursor) SetCursor(vs->hotCursor);
    int start, end;
    WordToLineEnd(vs, pos, &start, &end);
    char* copy = static_cast<char*>(LocalAlloc(LMEM_FIXED, end - start + 1));
    if (copy) {
        memcpy(copy, vs->text + start, end - start);
        copy[end - start] = 0;
        UINT code = msg == WM_LBUTTONDBLCLK ? CVN_DBLCLKTEXT : CVN_RCLICKTEXT;
        // The receiver reads the copy during the call; it is freed right after.
        SendMessageA(GetParent(hwnd), code, 0, reinterpret_cast<LPARAM>(copy));
        LocalFree(copy);
    }
    // The parent may have done anything meanwhile: fetch the record again.
    vs = GetViewState(hwnd);
    if (!vs) return 0;
    CatchUpScreen(hwnd, vs);
    InvalidateTextRange(hwnd, vs, oldCaret, oldAnchor);
    InvalidateTextRange(hwnd, vs, vs->caret, vs->anchor);
    UpdateWindow(hwnd);
    return 0;
}

LRESULT OnSetHotCursor(HWND hwnd, HCURSOR cursor) {
    ViewState* vs = GetViewState(hwnd);
    if (vs) vs->hotCursor = cursor;
    return 0;
}

LRESULT OnContextMenu(HWND hwnd, WPARAM wParam, LPARAM lParam) {
    ViewState* vs = GetViewState(hwnd);
    if (vs && (vs->dragging || GetKeyState(VK_LBUTTON) < 0)) return 0;
    return DefWindowProcA(hwnd, WM_CONTEXTMENU, wParam, lParam);
}

LRESULT OnPosFromPoint(HWND hwnd, const POINT* point) {
    ViewState* vs = GetViewState(hwnd);
    if (!vs || !point) return 0;
    CatchUpScreen(hwnd, vs);
    return PositionFromPoint(hwnd, vs, point->x, point->y);
}
