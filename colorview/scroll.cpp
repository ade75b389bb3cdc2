// Vertical scrolling of the colour text view by whole display lines, the
// scroll bar, and the batching of screen updates while text streams in.
// Every move of the view ends in ScrollTo, which moves the picture already
// on screen and repaints only the uncovered rows before it returns.
#include "colorview/scroll.h"

#include <climits>
#include <cstdlib>

int g_screenCatchUpMs = 40;

// Rows scrolled per wheel message, whatever its delta.
static const int kWheelLines = 3;
// The catch-up timer's id, and the longest an appended entry waits for it.
static const UINT_PTR kCatchUpTimer = 1;
static const DWORD kLongestWaitMs = 100;
// The scroll bar catches up at most this often while appends stream in.
static const DWORD kBarCatchUpMs = 250;


int VisibleRows(HWND hwnd, const ViewState* vs) {
    RECT rc;
    GetClientRect(hwnd, &rc);
    return rc.bottom / vs->lineHeight;
}

bool AtBottom(const ViewState* vs) {
    return vs->maxTopLine == 0 || vs->topLine == vs->maxTopLine;
}

void UpdateMaxTopLine(ViewState* vs, int clientHeight) {
    int visible = clientHeight / vs->lineHeight;
    vs->maxTopLine = visible < vs->lineCount ? vs->lineCount - visible : 0;
}

bool ClampTopLine(ViewState* vs) {
    int top = vs->topLine > vs->maxTopLine ? vs->maxTopLine : vs->topLine;
    if (top < 0) top = 0;
    if (top == vs->topLine) return false;
    vs->topLine = top;
    return true;
}

void SyncScrollBar(HWND hwnd, ViewState* vs) {
    int visible = VisibleRows(hwnd, vs);
    SCROLLINFO now = {};
    now.cbSize = sizeof(now);
    now.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    bool known = GetScrollInfo(hwnd, SB_VERT, &now) != 0;
    if (visible < vs->lineCount) {
        EnableScrollBar(hwnd, SB_VERT, ESB_ENABLE_BOTH);
        SCROLLINFO si = {};
        si.cbSize = sizeof(si);
        si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
        si.nMin = 0;
        si.nMax = vs->lineCount - 1;
        si.nPage = visible;
        si.nPos = vs->topLine;
        if (!known || now.nMin != si.nMin || now.nMax != si.nMax || now.nPage != si.nPage ||
            now.nPos != si.nPos)
            SetScrollInfo(hwnd, SB_VERT, &si, TRUE);
    } else {
        // Everything fits: the bar stays, disabled. Its page is cleared with
        // the range: a page left from before that covers the whole range
        // would hide the bar, and the client area would widen under the text.
        if (!known || now.nMin != 0 || now.nMax != visible + 1 || now.nPage != 0 || now.nPos != vs->topLine) {
            SCROLLINFO si = {};
            si.cbSize = sizeof(si);
            si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
            si.nMax = visible + 1;
            si.nPos = vs->topLine;
            SetScrollInfo(hwnd, SB_VERT, &si, TRUE);
        }
        EnableScrollBar(hwnd, SB_VERT, ESB_DISABLE_BOTH);
    }
}

void NoteLinesChanged(ViewState* vs, int line) {
    if (line < vs->dirtyLine) vs->dirtyLine = line;
    vs->screenPending = 1;
}

void NoteLinesDropped(ViewState* vs, int k) {
    if (k <= 0) return;
    vs->shownTopLine = vs->shownTopLine >= k ? vs->shownTopLine - k : -1;
    if (vs->dirtyLine != INT_MAX) vs->dirtyLine = vs->dirtyLine > k ? vs->dirtyLine - k : 0;
    vs->screenPending = 1;
}

void NoteAllChanged(ViewState* vs) {
    vs->shownTopLine = -1;
    vs->screenPending = 1;
}

void InvalidateAll(HWND hwnd, ViewState* vs) {
    InvalidateRect(hwnd, nullptr, FALSE);
    vs->shownTopLine = vs->topLine;
    vs->dirtyLine = INT_MAX;
}

// Moves the picture by `rows` rows (positive: the content moves up). What
// was waiting to be repainted moves with the content it belongs to.
static void MovePicture(HWND hwnd, int rows, int lineHeight, UINT flags) {
    RECT client;
    GetClientRect(hwnd, &client);
    HRGN pending = CreateRectRgn(0, 0, 0, 0);
    bool hadPending = pending && GetUpdateRgn(hwnd, pending, FALSE) > NULLREGION;
    ScrollWindowEx(hwnd, 0, -rows * lineHeight, nullptr, &client, nullptr, nullptr, flags);
    if (hadPending) {
        OffsetRgn(pending, 0, -rows * lineHeight);
        InvalidateRgn(hwnd, pending, FALSE);
    }
    if (pending) DeleteObject(pending);
}

// Moves the picture on screen to topLine and invalidates what is out of date.
static void CatchUpPicture(HWND hwnd, ViewState* vs) {
    RECT client;
    GetClientRect(hwnd, &client);
    int rows = client.bottom / vs->lineHeight + 1;  // the partly visible row too
    int moved = vs->topLine - vs->shownTopLine;
    if (vs->shownTopLine < 0 || abs(moved) >= rows) {
        InvalidateRect(hwnd, nullptr, FALSE);
    } else {
        if (moved != 0) MovePicture(hwnd, moved, vs->lineHeight, SW_INVALIDATE);
        if (vs->dirtyLine < vs->topLine + rows) {
            RECT band = client;
            int first = vs->dirtyLine > vs->topLine ? vs->dirtyLine - vs->topLine : 0;
            band.top = first * vs->lineHeight;
            InvalidateRect(hwnd, &band, FALSE);
        }
    }
    vs->shownTopLine = vs->topLine;
    vs->dirtyLine = INT_MAX;
}

// Brings the picture up to date, and the scroll bar too when `withBar` is
// set or the bar's own interval has passed.
static void CatchUp(HWND hwnd, ViewState* vs, bool withBar) {
    const DWORD now = GetTickCount();
    if (vs->screenPending) {
        vs->screenPending = 0;
        vs->barPending = 1;
        vs->lastScreenUpdate = now;
        CatchUpPicture(hwnd, vs);
    }
    if (vs->barPending && (withBar || now - vs->lastBarUpdate >= kBarCatchUpMs)) {
        vs->barPending = 0;
        vs->lastBarUpdate = now;
        SyncScrollBar(hwnd, vs);
    }
}

void CatchUpScreen(HWND hwnd, ViewState* vs) {
    CatchUp(hwnd, vs, true);
}

void ScreenChanged(HWND hwnd, ViewState* vs) {
    if (!vs->screenPending) return;
    if (g_screenCatchUpMs <= 0 || GetTickCount() - vs->lastScreenUpdate >= static_cast<DWORD>(g_screenCatchUpMs)) {
        // During a stream the bar keeps an interval of its own: redrawing it
        // is a round trip to the display server (several milliseconds under
        // Wine, more than the picture costs).
        CatchUp(hwnd, vs, false);
        UpdateWindow(hwnd);
        if (!vs->barPending) return;
    }
    // The rest waits for the timer, which fires once the batch is due and
    // the queue is idle: when the stream pauses, its last entries show
    // within one batch time. (Catching up at every momentary gap in a
    // stream would paint between nearly every two datagrams.)
    if (vs->catchUpTimerSet) return;
    DWORD due = static_cast<DWORD>(g_screenCatchUpMs) - (GetTickCount() - vs->lastScreenUpdate);
    if (due > kLongestWaitMs) due = kLongestWaitMs;
    if (SetTimer(hwnd, kCatchUpTimer, due > 0 ? due : 1, nullptr)) vs->catchUpTimerSet = 1;
}

LRESULT OnTimer(HWND hwnd, WPARAM id) {
    ViewState* vs = GetViewState(hwnd);
    if (id != kCatchUpTimer) return 0;
    KillTimer(hwnd, kCatchUpTimer);
    if (!vs) return 0;
    vs->catchUpTimerSet = 0;
    CatchUpScreen(hwnd, vs);
    UpdateWindow(hwnd);
    return 0;
}

void MoveView(HWND hwnd, ViewState* vs, int top) {
    CatchUpScreen(hwnd, vs);
    int oldTop = vs->topLine;
    vs->topLine = top;
    ClampTopLine(vs);
    // Also when nothing moved: the bar may have been dragged off topLine.
    SyncScrollBar(hwnd, vs);
    if (vs->topLine != oldTop) MovePicture(hwnd, vs->topLine - oldTop, vs->lineHeight, SW_INVALIDATE | SW_ERASE);
    vs->shownTopLine = vs->topLine;
}

void ScrollTo(HWND hwnd, ViewState* vs, int top) {
    MoveView(hwnd, vs, top);
    UpdateWindow(hwnd);
}

void JumpTo(HWND hwnd, ViewState* vs, int top) {
    CatchUpScreen(hwnd, vs);
    vs->topLine = top;
    ClampTopLine(vs);
    SyncScrollBar(hwnd, vs);
    InvalidateAll(hwnd, vs);
}

// Where the thumb is being dragged; outside a drag the platform reports the
// thumb's resting position.
static int TrackPosition(HWND hwnd) {
    SCROLLINFO si = {};
    si.cbSize = sizeof(si);
    si.fMask = SIF_TRACKPOS;
    GetScrollInfo(hwnd, SB_VERT, &si);
    return si.nTrackPos;
}

// The topLine a request code asks for, before clamping.
static int RequestedTopLine(HWND hwnd, const ViewState* vs, int code) {
    switch (code) {
        case SB_LINEUP:
            return vs->topLine - 1;
        case SB_LINEDOWN:
            return vs->topLine + 1;
        case SB_PAGEUP:
            return vs->topLine - VisibleRows(hwnd, vs);
        case SB_PAGEDOWN:
            return vs->topLine + VisibleRows(hwnd, vs);
        case SB_THUMBPOSITION:
        case SB_THUMBTRACK:
            return TrackPosition(hwnd);
        case SB_TOP:
            return 0;
        case SB_BOTTOM:
            return vs->maxTopLine;
        default:  // SB_ENDSCROLL and unknown codes leave the view where it is
            return vs->topLine;
    }
}

LRESULT OnVScroll(HWND hwnd, int code) {
    ViewState* vs = GetViewState(hwnd);
    if (!vs) return 0;
    // The bar first shows what the record holds: a thumb request reads it.
    CatchUpScreen(hwnd, vs);
    ScrollTo(hwnd, vs, RequestedTopLine(hwnd, vs, code));
    return 0;
}

LRESULT OnMouseWheel(HWND hwnd, WPARAM wParam) {
    ViewState* vs = GetViewState(hwnd);
    if (!vs) return 0;
    // Away from the user (positive delta) scrolls up; deltas are not summed.
    short delta = static_cast<short>(HIWORD(wParam));
    ScrollTo(hwnd, vs, vs->topLine + (delta > 0 ? -kWheelLines : kWheelLines));
    return 0;
}

LRESULT OnEmScroll(HWND hwnd, WPARAM code) {
    SendMessageA(hwnd, WM_VSCROLL, code, 0);
    return 0;
}

void InvalidateTextRange(HWND hwnd, ViewState* vs, int a, int b) {
    int first = LineFromOffset(vs, a);
    int last = b == a ? first : LineFromOffset(vs, b);
    if (first > last) {
        int swap = first;
        first = last;
        last = swap;
    }
    // Rows may lie above or below the client area; the platform clips them.
    RECT rows;
    GetClientRect(hwnd, &rows);
    rows.top = (first - vs->topLine) * vs->lineHeight;
    rows.bottom = (last + 1 - vs->topLine) * vs->lineHeight;
    InvalidateRect(hwnd, &rows, FALSE);
}
