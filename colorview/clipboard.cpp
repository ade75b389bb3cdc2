// Clipboard copy of the colour text view. The text store holds no colour
// codes, so the clipboard gets plain text in the ANSI code page; CR, LF,
// tabs and double-byte characters are copied byte for byte.
#include "colorview/clipboard.h"

#include <cstring>

bool CopyRangeToClipboard(HWND owner, const char* text, int start, int end) {
    if (!OpenClipboard(owner)) return false;
    if (!EmptyClipboard()) {
        CloseClipboard();
        return false;
    }
    SIZE_T n = static_cast<SIZE_T>(end - start);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, n + 1);
    char* bytes = block ? static_cast<char*>(GlobalLock(block)) : nullptr;
    if (!bytes) {
        if (block) GlobalFree(block);
        CloseClipboard();
        return false;
    }
    // The block is zero-filled: the copied bytes are followed by a NUL.
    memcpy(bytes, text + start, n);
    GlobalUnlock(block);
    // From here the clipboard owns the block.
    if (!SetClipboardData(CF_TEXT, block)) GlobalFree(block);
    CloseClipboard();
    return true;
}

LRESULT OnCopy(HWND hwnd) {
    ViewState* vs = GetViewState(hwnd);
    if (!vs || vs->caret == vs->anchor) return 0;
    CopyRangeToClipboard(hwnd, vs->text, SelectionLow(vs), SelectionHigh(vs));
    return 0;
}
