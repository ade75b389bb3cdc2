// The character walk shared by layout, painting, hit testing and the caret.
#include "colorview/line_walker.h"

#include <climits>

#include "colorview/color_codes.h"
#include "colorview/fonts.h"

void StartWalk(LineWalker* w, ViewState* vs, int pos, int bold, int limit) {
    w->vs = vs;
    w->pos = w->next = pos;
    w->bytes = w->width = 0;
    w->x = w->nextX = vs->leftMargin;
    w->column = w->nextColumn = 0;
    w->bold = bold;
    w->counted = 0;
    w->limit = limit;
}

void StartLineWalk(LineWalker* w, ViewState* vs, int line, int bold) {
    StartWalk(w, vs, vs->lineStart[line], bold, vs->lineLength[line]);
}

bool TakeCharacter(LineWalker* w) {
    ViewState* vs = w->vs;
    w->pos = w->next;
    w->x = w->nextX;
    w->column = w->nextColumn;
    w->bytes = w->width = 0;
    const char c = vs->text[w->pos];
    if (w->counted >= w->limit || c == 0) return false;

    // Attributes count at character starts only: a bold code that landed on
    // a trail byte lies inside its character and switches nothing.
    if (vs->attrFlags[w->pos] & kAttrBold) w->bold = !w->bold;
    if (c == '\r' || c == '\n') {
        w->bytes = 1;  // no room, not counted
    } else if (c == '\t') {
        int columns = vs->tabWidth - w->column % vs->tabWidth;
        w->bytes = 1;
        w->width = columns * vs->avgCharWidth;
        w->nextColumn = w->column + columns;
    } else {
        w->bytes = CharBytes(vs, w->pos);
        w->width = RunWidth(vs, w->pos, w->bytes, w->bold);
        w->nextColumn = w->column + w->bytes;
    }
    if (c != '\r' && c != '\n') w->counted += w->bytes;
    w->next = w->pos + w->bytes;
    w->nextX = w->x + w->width;
    if (c == '\n') {
        // The logical line ends: the next character starts a row in plain.
        w->nextX = vs->leftMargin;
        w->nextColumn = 0;
        w->bold = 0;
    }
    return true;
}
