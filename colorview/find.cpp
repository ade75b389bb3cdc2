// CVM_FIND: the search itself is text_search's; here the match becomes the
// selection, with the caret at the end the search went towards, and its
// line comes into view.
#include "colorview/find.h"

#include "colorview/caret_keyboard.h"
#include "colorview/scroll.h"
#include "colorview/text_search.h"

LRESULT OnFind(HWND hwnd, WPARAM options, const char* pattern) {
    ViewState* vs = GetViewState(hwnd);
    if (!vs || !pattern) return 0;
    const bool backward = (options & CVFIND_BACKWARD) != 0;
    const unsigned search = (backward ? kSearchBackward : 0u) | (options & CVFIND_MATCHCASE ? kSearchMatchCase : 0u);
    // The real text, whatever mask mode shows.
    TextMatch m = FindText(vs->text, vs->length, pattern, search, SelectionLow(vs), SelectionHigh(vs), &vs->leadBytes);
    if (m.start < 0) return 0;

    // As a key does: the screen catches up with streamed text first.
    CatchUpScreen(hwnd, vs);
    const int oldCaret = vs->caret, oldAnchor = vs->anchor;
    vs->anchor = backward ? m.end : m.start;
    vs->caret = backward ? m.start : m.end;
    vs->goalX = 0;
    BringIntoView(hwnd, vs, LineFromOffset(vs, vs->caret), oldCaret, oldAnchor);
    return m.wrapped ? CVFIND_FOUND | CVFIND_WRAPPED : CVFIND_FOUND;
}
