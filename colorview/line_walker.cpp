// The character walk shared by layout, painting, hit testing and the caret.
#include "colorview/line_walker.h"

#include <cstdint>
#include <cstring>

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

int PlainStretchEnd(const ViewState* vs, int pos, bool* hasPairs) {
    // Eight bytes at a time while they are printable ASCII without a bold
    // toggle (no code page has a lead byte below 0x80; the test has false
    // alarms only next to a byte that fails it); character by character from
    // the first byte that fails. The NUL at `length` ends every stretch.
    const uint64_t ones = 0x0101010101010101ull, highs = ones * 0x80;
    *hasPairs = false;
    for (;;) {
        for (; pos + 8 <= vs->length; pos += 8) {
            uint64_t bytes, flags;
            memcpy(&bytes, vs->text + pos, 8);
            memcpy(&flags, vs->attrFlags + pos, 8);
            if ((((bytes - ones * 0x20) | bytes) & highs) || (flags & ones * kAttrBold)) break;
        }
        for (const int stop = pos + 8; pos < stop;) {
            const char c = vs->text[pos];
            if (c == 0 || c == '\t' || c == '\r' || c == '\n' || (vs->attrFlags[pos] & kAttrBold)) return pos;
            const int bytes = CharBytes(vs, pos);
            *hasPairs |= bytes == 2;
            pos += bytes;
        }
    }
}
