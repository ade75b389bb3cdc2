// Hit testing: the text position a caret would take at a client point. It
// measures character by character with the same run-width rule and the same
// fonts as layout and painting, following the bold toggles from the start of
// the logical line, so a click lands on the character painted under it.
#include "colorview/hit_test.h"

#include "colorview/color_codes.h"
#include "colorview/fonts.h"

char* PositionFromPoint(HWND, ViewState* vs, int x, int y) {
    // Truncation toward zero: a point less than one row above the client
    // area still hits topLine.
    int target = y / vs->lineHeight + vs->topLine;
    if (target < 0) return vs->text;
    if (target >= vs->lineCount) return vs->text + vs->length;

    const char* text = vs->text;
    FontSwap fs;
    BeginFontSwap(&fs, vs->memDC);
    // Earlier display lines of the logical line count for their bold toggles only.
    int bold = BoldAt(vs, vs->lineStart[target]);
    SwapViewFont(&fs, vs, bold, 0, 0);

    // Position k is the answer while x is at or right of X(k) - avgCharWidth / 2,
    // X(k) being the left edge of its character as painting places it.
    const int end = vs->lineLength[target];
    int pos = vs->lineStart[target];
    int candidate = pos;
    int threshold = vs->leftMargin - vs->avgCharWidth / 2;
    int column = 0;
    for (int i = 0; i <= end; pos++) {
        if (vs->attrFlags[pos] & kAttrBold) {
            bold = !bold;
            SwapViewFont(&fs, vs, bold, 0, 0);
        }
        if (threshold > x) break;
        candidate = pos;
        if (i == end) break;  // the line's end position: nothing right of it
        if (text[pos] == '\r') continue;  // a carriage return inside the line: no room, not counted
        if (text[pos] == '\t') {
            int columns = vs->tabWidth - column % vs->tabWidth;
            threshold += columns * vs->avgCharWidth;
            column += columns;
            i++;
        } else {
            // A double-byte pair is measured and stepped over as one character.
            int bytes = CharBytes(text, pos);
            threshold += RunWidth(vs, text + pos, bytes, bold);
            column += bytes;
            i += bytes;
            pos += bytes - 1;
        }
    }
    EndFontSwap(&fs);
    return vs->text + candidate;
}
