// Vertical scrolling of the colour text view by whole display lines: the
// scroll bar's requests, the wheel and EM_SCROLL all end in OnVScroll, which
// moves the picture already on screen and repaints only the uncovered rows,
// before it returns. InvalidateTextRange lets the caret and selection code
// repaint just the rows a change touched.
#include "colorview/scroll.h"

// Rows scrolled per wheel message, whatever its delta.
static const int kWheelLines = 3;

static int Clamp(int value, int low, int high) {
    if (value > high) value = high;
    if (value < low) value = low;
    return value;
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

// The topLine a request code asks for, kept within 0 ... maxTopLine.
static int RequestedTopLine(HWND hwnd, const ViewState* vs, int code, int visibleRows) {
    int top = vs->topLine;
    switch (code) {
        case SB_LINEUP:
            top -= 1;
            break;
        case SB_LINEDOWN:
            top += 1;
            break;
        case SB_PAGEUP:
            top -= visibleRows;
            break;
        case SB_PAGEDOWN:
            top += visibleRows;
            break;
        case SB_THUMBPOSITION:
        case SB_THUMBTRACK:
            top = TrackPosition(hwnd);
            break;
        case SB_TOP:
            top = 0;
            break;
        case SB_BOTTOM:
            top = vs->maxTopLine;
            break;
        default:  // SB_ENDSCROLL and unknown codes leave the view where it is
            break;
    }
    return Clamp(top, 0, vs->maxTopLine);
}

LRESULT OnVScroll(HWND hwnd, int code) {
    ViewState* vs = GetViewState(hwnd);
    if (!vs) return 0;
    RECT client;
    GetClientRect(hwnd, &client);
    int oldTop = vs->topLine;
    vs->topLine = RequestedTopLine(hwnd, vs, code, client.bottom / vs->lineHeight);

    // Also when nothing moved: the bar may have been dragged off topLine.
    SetScrollPos(hwnd, SB_VERT, vs->topLine, TRUE);
    // A positive dy moves the picture down: the view went up the text.
    ScrollWindowEx(hwnd, 0, (oldTop - vs->topLine) * vs->lineHeight, nullptr, &client, nullptr, nullptr,
                   SW_INVALIDATE | SW_ERASE);
    UpdateWindow(hwnd);
    return 0;
}

LRESULT OnMouseWheel(HWND hwnd, WPARAM wParam) {
    // Away from the user (positive delta) scrolls up; deltas are not summed.
    short delta = static_cast<short>(HIWORD(wParam));
    WPARAM code = delta > 0 ? SB_LINEUP : SB_LINEDOWN;
    for (int i = 0; i < kWheelLines; i++) SendMessageA(hwnd, WM_VSCROLL, code, 0);
    return 0;
}

LRESULT OnEmScroll(HWND hwnd, WPARAM code) {
    SendMessageA(hwnd, WM_VSCROLL, code, 0);
    return 0;
}

void InvalidateTextRange(HWND hwnd, ViewState* vs, const char* a, const char* b) {
    int first = LineFromOffset(vs, Offset(vs, a));
    int last = b == a ? first : LineFromOffset(vs, Offset(vs, b));
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
