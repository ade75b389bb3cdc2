// Edit-compatible queries of the colour text view. Line numbers are display
// lines, positions byte offsets into the text, which holds no in-band codes.
#include "colorview/edit_queries.h"

#include <cstring>

#include "colorview/append_layout.h"
#include "colorview/scroll.h"

LRESULT OnGetText(HWND hwnd, WPARAM size, char* buffer) {
    ViewState* vs = GetViewState(hwnd);
    // A size of 0 leaves no room even for the terminator: copy nothing.
    if (!vs || !buffer || size == 0) return 0;
    size_t n = static_cast<size_t>(vs->length);
    if (n > size - 1) n = size - 1;
    memcpy(buffer, vs->text, n);
    buffer[n] = 0;
    return static_cast<LRESULT>(n);
}

LRESULT OnGetTextLength(HWND hwnd) {
    ViewState* vs = GetViewState(hwnd);
    return vs ? vs->length : 0;
}

LRESULT OnGetState(HWND hwnd, ViewState** out) {
    if (out) *out = GetViewState(hwnd);
    return 0;
}

LRESULT OnGetLineCount(HWND hwnd) {
    ViewState* vs = GetViewState(hwnd);
    return vs ? vs->lineCount : 0;
}

// -1 stands for the caret's position; positions past the end lie in the last line.
static int LineOfPosition(const ViewState* vs, int pos) {
    return LineFromOffset(vs, pos == -1 ? vs->caret : pos);
}

LRESULT OnLineIndex(HWND hwnd, int line) {
    ViewState* vs = GetViewState(hwnd);
    if (!vs) return 0;
    if (line == -1) line = LineFromOffset(vs, vs->caret);
    if (line < 0 || line >= vs->lineCount) return -1;
    return vs->lineStart[line];
}

LRESULT OnLineLength(HWND hwnd, int pos) {
    ViewState* vs = GetViewState(hwnd);
    return vs ? vs->lineLength[LineOfPosition(vs, pos)] : 0;
}

LRESULT OnLineFromChar(HWND hwnd, int pos) {
    ViewState* vs = GetViewState(hwnd);
    return vs ? LineOfPosition(vs, pos) : 0;
}

LRESULT OnGetLine(HWND hwnd, int line, char* buffer) {
    ViewState* vs = GetViewState(hwnd);
    if (!vs || !buffer || line < 0 || line >= vs->lineCount) return 0;
    // As with an edit control, the buffer's first WORD gives its size in
    // bytes: never more is written, and the NUL only when there is room.
    WORD size;
    memcpy(&size, buffer, sizeof size);
    int n = vs->lineLength[line];
    if (n > size) n = size;
    memcpy(buffer, vs->text + vs->lineStart[line], n);
    if (n < size) buffer[n] = 0;
    return n;
}

LRESULT OnLimitText(HWND hwnd, int limit) {
    ViewState* vs = GetViewState(hwnd);
    if (!vs) return 0;
    if (limit <= 0) {
        // From now on the buffers grow as needed; nothing else changes.
        vs->textLimit = 0;
        return 0;
    }
    if (!LimitText(hwnd, vs, limit)) return 0;
    JumpTo(hwnd, vs, vs->maxTopLine);
    UpdateWindow(hwnd);
    return 0;
}

LRESULT OnSetTabStops(HWND hwnd, int count, const int* stops) {
    ViewState* vs = GetViewState(hwnd);
    if (!vs) return 0;
    int width = count > 0 && stops ? (stops[0] & 0xFFFF) : 8;
    // A width of 0 would divide by zero in every tab computation: keep the old one.
    if (width == 0 || width == vs->tabWidth) return 1;
    vs->tabWidth = width;
    LayOutAll(hwnd, vs);
    return 1;
}

LRESULT OnGetFirstVisibleLine(HWND hwnd) {
    ViewState* vs = GetViewState(hwnd);
    return vs ? vs->topLine : 0;
}

LRESULT OnSetScrollLock(HWND hwnd, WPARAM hold) {
    ViewState* vs = GetViewState(hwnd);
    if (vs) vs->scrollLock = hold != 0;
    return 0;
}

LRESULT OnGetTextLines(HWND hwnd) {
    ViewState* vs = GetViewState(hwnd);
    if (!vs) return 0;
    // logicalLineCount counts the empty line after a final line feed too.
    bool lastEmpty = vs->length == 0 || vs->text[vs->length - 1] == '\n';
    return vs->logicalLineCount - (lastEmpty ? 1 : 0);
}

LRESULT OnIsFollowing(HWND hwnd) {
    ViewState* vs = GetViewState(hwnd);
    // The rule the append path follows (append_layout.cpp).
    return vs && AtBottom(vs) && !vs->scrollLock ? 1 : 0;
}
