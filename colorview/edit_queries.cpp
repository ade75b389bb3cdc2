// Edit-compatible queries of the colour text view. Line numbers are display
// lines, positions byte offsets into the text, which holds no in-band codes.
#include "colorview/edit_queries.h"

#include <cstring>

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
