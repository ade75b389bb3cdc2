// Caret, selection and keyboard. The view is read-only: keys only move the
// caret (the moving end of the selection) and, without Shift, the anchor
// with it. Vertical moves read the caret's pixel position back from the
// system caret, which every paint places, so each command ends with a
// synchronous repaint.
#include "colorview/caret_keyboard.h"

#include "colorview/hit_test.h"
#include "colorview/line_walker.h"
#include "colorview/paint.h"
#include "colorview/scroll.h"

static bool KeyHeld(int key) {
    return GetKeyState(key) < 0;
}

// Left: the start of the character before the caret, found by walking its
// display line (a trail byte is never a place to stop). Returns the line the
// caret ends on, -1 when it was at the start of the text.
static int MoveLeft(ViewState* vs, int line) {
    if (vs->caret == vs->lineStart[line]) line--;
    if (line < 0) return line;
    // The positions of the line are its characters' starts, then its end.
    LineWalker w;
    StartLineWalk(&w, vs, line, 0);
    int previous = w.pos;
    bool more = true;
    while (more) {
        more = TakeCharacter(&w);
        if (w.pos >= vs->caret) break;
        previous = w.pos;
    }
    vs->caret = previous;
    return line;
}

// Right: over one character; from the end of a display line's text straight
// to the start of the next one, except in front of a CR, where it stops once.
static int MoveRight(ViewState* vs, int line) {
    if (vs->text[vs->caret] == 0) return line;
    vs->caret += CharBytes(vs, vs->caret);
    char at = vs->text[vs->caret];
    if (vs->caret - vs->lineStart[line] >= vs->lineLength[line] && at != 0 && at != '\r') {
        line++;
        vs->caret = line == vs->lineCount ? vs->length : vs->lineStart[line];
    }
    return line;
}

// Up and Down keep the x of the first vertical move (goalX) across the
// lines they pass. Without a system caret nothing moves.
static void MoveVertically(HWND hwnd, ViewState* vs, int target, int step) {
    if (target < 0 || target > vs->lineCount - 1) return;
    POINT at;
    if (!GetCaretPos(&at)) return;
    if (vs->goalX == 0) vs->goalX = at.x;
    vs->caret = PositionFromPoint(hwnd, vs, vs->goalX, at.y + step * vs->lineHeight);
}

void RepaintSelectionChange(HWND hwnd, ViewState* vs, int oldCaret, int oldAnchor) {
    if (vs->anchor != oldAnchor) InvalidateTextRange(hwnd, vs, oldCaret, oldAnchor);
    InvalidateTextRange(hwnd, vs, oldCaret, vs->caret);
    UpdateWindow(hwnd);
}

// Brings line `target` into view by moving the picture, then repaints the
// rows the caret and selection left and reached. A target outside the text
// (Left at the start, Up on the first line, Down on the last) moves the view
// to its top or bottom, with the picture kept in step.
void BringIntoView(HWND hwnd, ViewState* vs, int target, int oldCaret, int oldAnchor) {
    int visible = VisibleRows(hwnd, vs);
    if (target < vs->topLine)
        MoveView(hwnd, vs, target < 0 ? 0 : target);
    else if (target >= vs->topLine + visible)
        MoveView(hwnd, vs, target - visible + 1);
    RepaintSelectionChange(hwnd, vs, oldCaret, oldAnchor);
}

// PageUp and PageDown: the caret a page up or down at its x, the view a page
// with it. Without a system caret nothing happens at all.
static void MoveByPage(HWND hwnd, ViewState* vs, int direction) {
    POINT at;
    if (!GetCaretPos(&at)) return;
    RECT client;
    GetClientRect(hwnd, &client);
    vs->caret = PositionFromPoint(hwnd, vs, at.x, at.y + direction * client.bottom);
    ApplyAnchorRule(vs);
    SendMessageA(hwnd, WM_VSCROLL, direction < 0 ? SB_PAGEUP : SB_PAGEDOWN, 0);
    InvalidateAll(hwnd, vs);
    UpdateWindow(hwnd);
}

// The commands that move the caret somewhere and repaint the whole area;
// `top` is where the view goes, or -1 to leave it.
static void MoveAndRepaint(HWND hwnd, ViewState* vs, int caret, int top) {
    vs->caret = caret;
    ApplyAnchorRule(vs);
    if (top >= 0)
        JumpTo(hwnd, vs, top);
    else
        InvalidateAll(hwnd, vs);
    UpdateWindow(hwnd);
}

static void MoveByArrow(HWND hwnd, ViewState* vs, WPARAM key) {
    const int oldCaret = vs->caret, oldAnchor = vs->anchor;
    int line = LineFromOffset(vs, vs->caret);
    bool shift = KeyHeld(VK_SHIFT);
    if (key == VK_LEFT || key == VK_RIGHT) {
        vs->goalX = 0;
        if (vs->caret != vs->anchor && !shift) {
            // A selection collapses to its end on that side first.
            vs->caret = vs->anchor = key == VK_LEFT ? SelectionLow(vs) : SelectionHigh(vs);
            line = LineFromOffset(vs, vs->caret);
        } else {
            line = key == VK_LEFT ? MoveLeft(vs, line) : MoveRight(vs, line);
            ApplyAnchorRule(vs);
        }
    } else {
        int step = key == VK_UP ? -1 : 1;
        line += step;
        MoveVertically(hwnd, vs, line, step);
        ApplyAnchorRule(vs);
    }
    BringIntoView(hwnd, vs, line, oldCaret, oldAnchor);
}

LRESULT OnKeyDown(HWND hwnd, WPARAM key) {
    ViewState* vs = GetViewState(hwnd);
    if (!vs) return 0;
    // Text that streamed in is put on screen first, so that the picture, the
    // view position and the caret the system reports all agree (the caret
    // moves with appended text even when no row of it is repainted).
    CatchUpScreen(hwnd, vs);
    UpdateWindow(hwnd);
    PlaceSystemCaret(hwnd, vs);
    bool ctrl = KeyHeld(VK_CONTROL);
    switch (key) {
        case VK_PRIOR:
        case VK_NEXT:
            MoveByPage(hwnd, vs, key == VK_PRIOR ? -1 : 1);
            break;
        case VK_END:
            if (ctrl) {
                MoveAndRepaint(hwnd, vs, vs->length, vs->maxTopLine);
            } else {
                int end = vs->caret;
                while (vs->text[end] && !IsLineBreak(vs->text[end])) end++;
                MoveAndRepaint(hwnd, vs, end, -1);
            }
            break;
        case VK_HOME:
            if (ctrl)
                MoveAndRepaint(hwnd, vs, 0, 0);
            else
                MoveAndRepaint(hwnd, vs, LogicalLineStart(vs->text, vs->caret, true), -1);
            break;
        case VK_LEFT:
        case VK_UP:
        case VK_RIGHT:
        case VK_DOWN:
            MoveByArrow(hwnd, vs, key);
            break;
        case 'A':
            if (ctrl) {
                // Select all; Shift plays no part.
                vs->anchor = 0;
                vs->caret = vs->length;
                JumpTo(hwnd, vs, vs->maxTopLine);
                UpdateWindow(hwnd);
            }
            break;
        case 'C':
            if (ctrl) SendMessageA(hwnd, WM_COPY, 0, 0);
            break;
        default:
            break;
    }
    return 0;
}

LRESULT OnSetFocus(HWND hwnd) {
    ViewState* vs = GetViewState(hwnd);
    if (!vs) return 0;
    CreateCaret(hwnd, nullptr, 0, vs->lineHeight);
    // The next paint puts the caret in its place.
    InvalidateAll(hwnd, vs);
    ShowCaret(hwnd);
    return 0;
}

LRESULT OnKillFocus(HWND hwnd) {
    HideCaret(hwnd);
    DestroyCaret();
    return 0;
}

LRESULT OnGetSel(HWND hwnd, DWORD* start, DWORD* end) {
    ViewState* vs = GetViewState(hwnd);
    if (!vs) return 0;
    DWORD low = static_cast<DWORD>(SelectionLow(vs)), high = static_cast<DWORD>(SelectionHigh(vs));
    // Either pointer may be null: the caller then wants only the packed result.
    if (start) *start = low;
    if (end) *end = high;
    return MAKELONG(low & 0xFFFF, high & 0xFFFF);
}

LRESULT OnSetSel(HWND hwnd, WPARAM one, LPARAM other) {
    ViewState* vs = GetViewState(hwnd);
    if (!vs) return 0;
    int a = static_cast<int>(one), b = static_cast<int>(other);
    int high = a > b ? a : b, low = a > b ? b : a;
    if (high < 0) high = 0;
    if (high > vs->length) high = vs->length;
    if (low < 0 || low > vs->length) low = vs->length;
    // The caret lands on the lower end; the view does not scroll.
    vs->anchor = high;
    vs->caret = low;
    vs->goalX = 0;
    CatchUpScreen(hwnd, vs);
    InvalidateAll(hwnd, vs);
    UpdateWindow(hwnd);
    return 0;
}

LRESULT OnScrollCaret(HWND hwnd) {
    ViewState* vs = GetViewState(hwnd);
    if (!vs) return 0;
    int line = LineFromOffset(vs, vs->caret);
    int visible = VisibleRows(hwnd, vs);
    int top = vs->topLine;
    if (line < top)
        top = line;
    else if (line >= top + visible)
        top = line - visible + 1;
    JumpTo(hwnd, vs, top);
    UpdateWindow(hwnd);
    return 1;
}
