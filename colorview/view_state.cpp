// The base of the colour text view: its heap memory (with fault injection for
// tests), the display line of a position, the bold state at a position and
// the anchor rule, shared by every other unit.
#include "colorview/view_state.h"

#include <cstring>

#include "colorview/color_codes.h"

unsigned char g_maskMode = 0;
int g_viewAllocFailCountdown = 0;

// Counts down the injected failure; true when this allocation must fail.
static bool InjectedFailure() {
    if (g_viewAllocFailCountdown <= 0) return false;
    return --g_viewAllocFailCountdown == 0;
}

void* ViewAlloc(size_t bytes) {
    if (InjectedFailure()) return nullptr;
    return LocalAlloc(LPTR, bytes);
}

void* ViewReAlloc(void* block, size_t oldBytes, size_t newBytes) {
    if (InjectedFailure()) return nullptr;
    void* grown = LocalReAlloc(block, newBytes, LMEM_MOVEABLE);
    if (grown && newBytes > oldBytes) memset(static_cast<char*>(grown) + oldBytes, 0, newBytes - oldBytes);
    return grown;
}

void ViewFree(void* block) {
    if (block) LocalFree(block);
}

int LogicalLineStart(const char* text, int pos, bool crEnds) {
    while (pos > 0 && text[pos - 1] != '\n' && !(crEnds && text[pos - 1] == '\r')) pos--;
    return pos;
}

int FirstLineOfLogicalLine(const ViewState* vs, int line) {
    return LineFromOffset(vs, LogicalLineStart(vs->text, vs->lineStart[line]));
}

int BoldAt(const ViewState* vs, int pos) {
    int bold = 0;
    for (int i = LogicalLineStart(vs->text, pos); i < pos; i += CharBytes(vs, i))
        bold ^= (vs->attrFlags[i] & kAttrBold) != 0;
    return bold;
}

int LineFromOffset(const ViewState* vs, int pos) {
    // lineStart is non-decreasing and lineStart[0] is 0: find the last start <= pos.
    int lo = 0, hi = vs->lineCount - 1;
    while (lo < hi) {
        int mid = lo + (hi - lo + 1) / 2;
        if (vs->lineStart[mid] <= pos)
            lo = mid;
        else
            hi = mid - 1;
    }
    return lo;
}

void ApplyAnchorRule(ViewState* vs) {
    if (GetKeyState(VK_SHIFT) >= 0) vs->anchor = vs->caret;
}

void FreeViewState(ViewState* vs) {
    ViewFree(vs->text);
    ViewFree(vs->attrFlags);
    ViewFree(vs->attrColors);
    ViewFree(vs->lineStart);
    ViewFree(vs->lineLength);
    ViewFree(vs);
}
