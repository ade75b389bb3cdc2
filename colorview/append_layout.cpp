// Appending text with in-band codes to the colour text view, the line-count
// and size limits that drop whole lines from the front, wrapping into
// display lines by pixel width. Every datagram passes through AppendText, so
// an append re-measures only the last display line and the new text, and
// leaves the screen to catch up in batches (scroll.h).
#include "colorview/append_layout.h"

#include <climits>
#include <cstring>

#include "colorview/code_reader.h"
#include "colorview/color_codes.h"
#include "colorview/fonts.h"
#include "colorview/line_walker.h"
#include "colorview/scroll.h"

long long g_layoutBytesWalked = 0;
bool g_layoutByArithmetic = true;

// A single append larger than this is refused rather than risking overflow
// of the 32-bit sizes.
static const size_t kMaxAppend = 0x10000000;

static int CountLineFeeds(const char* s, int n) {
    int count = 0;
    for (const char* p = s; (p = static_cast<const char*>(memchr(p, '\n', s + n - p))) != nullptr; p++) count++;
    return count;
}

// Every cut ends here: the kept text never starts on a line break, so that
// what the cut leaves begins with a line's text. Returns the offset of the
// first byte at or after `from` that is neither CR nor LF, `end` at most.
static int SkipLineBreaks(const char* s, int from, int end) {
    while (from < end && IsLineBreak(s[from])) from++;
    return from;
}

// Offset just after the `nth` line feed of s[0..end) and the run of CR and LF
// bytes that follows it; `end` when there are fewer line feeds.
static int OffsetAfterLineFeed(const char* s, int end, int nth) {
    const char* p = s;
    for (int seen = 0; seen < nth; seen++, p++) {
        p = static_cast<const char*>(memchr(p, '\n', s + end - p));
        if (!p) return end;
    }
    return SkipLineBreaks(s, static_cast<int>(p - s), end);
}

// Offset just after the first line feed at or after `from` and the run of CR
// and LF bytes behind it; `end` when there is none.
static int SkipPastNextLineFeed(const char* s, int from, int end) {
    return OffsetAfterLineFeed(s + from, end - from, 1) + from;
}

// Start of the newest `keep` logical lines of s[0..n), which holds at least
// `keep` line feeds: just after the keep-th line feed counted from the end.
static int StartOfNewestLines(const char* s, int n, int keep) {
    int i = n - 1;
    for (int seen = 0; i >= 0; i--) {
        if (s[i] == '\n' && ++seen == keep) break;
    }
    return SkipLineBreaks(s, i + 1, n);
}

void DropLeadingLines(ViewState* vs, int k) {
    if (k <= 0) return;
    int base = vs->lineStart[k];
    for (int i = k; i < vs->lineCount; i++) {
        vs->lineStart[i - k] = vs->lineStart[i] - base;
        vs->lineLength[i - k] = vs->lineLength[i];
    }
    vs->lineCount -= k;
    vs->maxTopLine = vs->maxTopLine > k ? vs->maxTopLine - k : 0;
}

// The codes on the bytes a cut takes from the kept text's logical line (the
// CR bytes between its line feed and the cut) still style the kept text:
// their toggles and the colours they leave in force move onto the first
// kept byte, so that the kept lines look, and wrap, as before.
static void KeepCutAttributes(ViewState* vs, int cut) {
    int from = LogicalLineStart(vs->text, cut);
    if (from == cut) return;
    const unsigned char kToggles = kAttrBold | kAttrUnderline | kAttrItalic | kAttrReverse;
    unsigned char toggles = 0;
    int fg = -1, bg = -1;  // -1: unchanged, -2: the defaults, else a palette index
    // Character starts only, as everywhere: a code on a trail byte does nothing.
    for (int i = from; i <= cut; i += i < cut ? CharBytes(vs, i) : 1) {
        unsigned char flags = vs->attrFlags[i], colors = vs->attrColors[i];
        toggles ^= flags & kToggles;
        if (flags & kAttrReset) fg = bg = -2;
        if (flags & kAttrFore) fg = colors & 0x0F;
        if (flags & kAttrBack) bg = colors >> 4;
    }
    unsigned char flags = toggles | (vs->attrFlags[cut] & kAttrHot);
    unsigned char colors = 0;
    if (fg == -2 || bg == -2) flags |= kAttrReset;
    if (fg >= 0) flags |= kAttrFore, colors |= static_cast<unsigned char>(fg);
    if (bg >= 0) flags |= kAttrBack, colors |= static_cast<unsigned char>(bg << 4);
    vs->attrFlags[cut] = flags;
    vs->attrColors[cut] = colors;
}

// Removes text[0..cut) and the display lines before the one holding `cut`;
// returns the number of display lines dropped.
static int FrontCut(ViewState* vs, int cut, bool inAppend) {
    KeepCutAttributes(vs, cut);
    int k = LineFromOffset(vs, cut);
    int kStart = vs->lineStart[k];
    DropLeadingLines(vs, k);
    // The cut may lie inside line k (behind CR bytes, or at the end of the
    // text): keep the remaining starts and the first line's count on their bytes.
    int inside = cut - kStart;
    if (inside > 0) {
        for (int i = 1; i < vs->lineCount; i++) vs->lineStart[i] -= inside;
        int counted = 0;
        for (int i = kStart; i < cut; i++) counted += !IsLineBreak(vs->text[i]);
        vs->lineLength[0] = vs->lineLength[0] > counted ? vs->lineLength[0] - counted : 0;
    }
    vs->logicalLineCount -= CountLineFeeds(vs->text, cut);

    vs->caret = vs->caret >= cut ? vs->caret - cut : 0;
    vs->anchor = vs->anchor >= cut ? vs->anchor - cut : 0;

    // The attributes move as whole buffers so that pending ones at the end go along.
    memmove(vs->attrFlags, vs->attrFlags + cut, vs->capacity - cut);
    memset(vs->attrFlags + vs->capacity - cut, 0, cut);
    memmove(vs->attrColors, vs->attrColors + cut, vs->capacity - cut);
    memset(vs->attrColors + vs->capacity - cut, 0, cut);
    vs->length -= cut;
    memmove(vs->text, vs->text + cut, vs->length + 1);

    NoteLinesDropped(vs, k);
    if (inAppend && vs->scrollLock) vs->topLine = vs->topLine > k ? vs->topLine - k : 0;
    return k;
}

// Empties the text in its present buffers: one empty display line at the top.
static void EmptyText(ViewState* vs) {
    memset(vs->attrFlags, 0, vs->capacity);
    memset(vs->attrColors, 0, vs->capacity);
    vs->text[0] = 0;
    vs->length = 0;
    vs->lineStart[0] = 0;
    vs->lineLength[0] = 0;
    vs->lineCount = 1;
    vs->logicalLineCount = 1;
    vs->topLine = 0;
    vs->maxTopLine = 0;
    vs->caret = vs->anchor = 0;
    NoteAllChanged(vs);
}

// Replaces the three byte buffers by new empty ones of `capacity` bytes.
// The old ones are freed only once all new ones exist, so a failure leaves
// the view as it was.
// Three new zeroed byte buffers of `capacity` bytes: all three, or none.
struct ByteBuffers {
    char* text;
    unsigned char* flags;
    unsigned char* colors;
};
static bool NewByteBuffers(ByteBuffers* b, int capacity) {
    b->text = static_cast<char*>(ViewAlloc(capacity));
    b->colors = b->text ? static_cast<unsigned char*>(ViewAlloc(capacity)) : nullptr;
    b->flags = b->colors ? static_cast<unsigned char*>(ViewAlloc(capacity)) : nullptr;
    if (b->flags) return true;
    ViewFree(b->colors);
    ViewFree(b->text);
    return false;
}

// Frees the view's byte buffers and puts the new ones in their place.
static void InstallByteBuffers(ViewState* vs, const ByteBuffers& b, int capacity) {
    ViewFree(vs->text);
    ViewFree(vs->attrFlags);
    ViewFree(vs->attrColors);
    vs->text = b.text;
    vs->attrFlags = b.flags;
    vs->attrColors = b.colors;
    vs->capacity = capacity;
}

static bool ReplaceByteBuffers(ViewState* vs, int capacity) {
    ByteBuffers b;
    if (!NewByteBuffers(&b, capacity)) return false;
    InstallByteBuffers(vs, b, capacity);
    EmptyText(vs);
    return true;
}

// Grows the byte buffers to `capacity`; `capacity` changes only when all
// three grew. Zero-filling keeps the pending attributes at the old end.
static bool GrowByteBuffers(ViewState* vs, int capacity) {
    void* colors = ViewReAlloc(vs->attrColors, vs->capacity, capacity);
    if (!colors) return false;
    vs->attrColors = static_cast<unsigned char*>(colors);
    void* flags = ViewReAlloc(vs->attrFlags, vs->capacity, capacity);
    if (!flags) return false;
    vs->attrFlags = static_cast<unsigned char*>(flags);
    void* text = ViewReAlloc(vs->text, vs->capacity, capacity);
    if (!text) return false;
    vs->text = static_cast<char*>(text);
    vs->capacity = capacity;
    return true;
}

// New capacity for `needed` bytes: at least half as much again as now, so
// that growing costs the same per byte at 100 MB of text as at 1 MB.
static long long GrownCapacity(long long current, long long needed) {
    long long grown = current + current / 2;
    return grown > needed ? grown : needed;
}

int AppendText(HWND hwnd, ViewState* vs, const char* in) {
    size_t inLength = strlen(in);
    if (inLength > kMaxAppend) return 0;
    int n = static_cast<int>(inLength);
    bool caretAtEnd = vs->caret == vs->length;
    bool atBottom = AtBottom(vs);
    bool threwAway = false;

    if (vs->maxLines > 0) {
        int f = CountLineFeeds(in, n);
        if (f >= vs->maxLines) {
            // The incoming text alone fills the limit: keep its newest lines only.
            int from = StartOfNewestLines(in, n, vs->maxLines);
            int capacity = vs->textLimit > 0 ? vs->textLimit : n - from + kCapacityStep;
            if (!ReplaceByteBuffers(vs, capacity)) return 0;
            in += from;
            n -= from;
            threwAway = true;
        } else if (vs->logicalLineCount + f > vs->maxLines) {
            // Drop just enough of the oldest lines (one at least); counting
            // what the cut removes keeps logicalLineCount exact.
            int surplus = vs->logicalLineCount + f - vs->maxLines;
            FrontCut(vs, OffsetAfterLineFeed(vs->text, vs->length, surplus), true);
        }
    }

    if (vs->textLimit > 0 && vs->length + n >= vs->textLimit) {
        if (n >= vs->textLimit) {
            in += SkipPastNextLineFeed(in, n - vs->textLimit + 1, n);
            n = static_cast<int>(strlen(in));
            EmptyText(vs);
            threwAway = true;
        } else {
            int cut = SkipPastNextLineFeed(vs->text, vs->length + n - vs->textLimit + 1, vs->length);
            FrontCut(vs, cut, true);
        }
    }

    // With a text limit the buffers already hold it (capacity == textLimit),
    // so this only grows an unlimited view.
    if (vs->length + n + 1 > vs->capacity) {
        long long wanted = GrownCapacity(vs->capacity, static_cast<long long>(vs->length) + n + kCapacityStep);
        if (wanted > INT_MAX) wanted = static_cast<long long>(vs->length) + n + kCapacityStep;
        if (wanted > INT_MAX || !GrowByteBuffers(vs, static_cast<int>(wanted))) return 0;
    }

    const int writeAt = vs->length;
    CodedTextTarget target = {vs->text, vs->attrFlags, vs->attrColors, vs->length};
    vs->logicalLineCount += ReadCodedText(reinterpret_cast<const unsigned char*>(in), &target, &vs->leadBytes);
    vs->length = target.length;

    int relaid = vs->lineCount - 1;
    // A lead byte that ended the text was measured alone, and wrapped onto a
    // line of its own; with its trail byte now behind it, it may fit the line
    // before after all, so that line is laid out again too.
    if (relaid > 0 && vs->lineStart[relaid] == writeAt - 1 && vs->text[writeAt - 2] != '\n' &&
        vs->leadBytes.lead[static_cast<BYTE>(vs->text[writeAt - 1])]) {
        relaid--;
        vs->lineCount = relaid + 1;
    }
    NoteLinesChanged(vs, relaid);
    if (!LayoutLines(hwnd, vs, vs->lineStart[relaid])) return 0;

    if ((caretAtEnd && vs->anchor == vs->caret) || threwAway) {
        vs->caret = vs->anchor = vs->length;
        vs->goalX = 0;
    }
    // At the bottom the view follows the end, unless it is held; a view
    // scrolled back stays on its line, inside the text that is left.
    if (atBottom && !vs->scrollLock) vs->topLine = vs->maxTopLine;
    ClampTopLine(vs);
    ScreenChanged(hwnd, vs);
    return 1;
}

int GrowLineTables(ViewState* vs) {
    int step = vs->lineCapacity / 2 > kLineCapacityStep ? vs->lineCapacity / 2 : kLineCapacityStep;
    if (vs->lineCapacity > INT_MAX / static_cast<int>(sizeof(int)) - step) return 0;
    size_t oldBytes = vs->lineCapacity * sizeof(int);
    size_t newBytes = (vs->lineCapacity + step) * sizeof(int);
    void* starts = ViewReAlloc(vs->lineStart, oldBytes, newBytes);
    if (!starts) return 0;
    vs->lineStart = static_cast<int*>(starts);
    void* lengths = ViewReAlloc(vs->lineLength, oldBytes, newBytes);
    if (!lengths) return 0;
    vs->lineLength = static_cast<int*>(lengths);
    vs->lineCapacity += step;
    return 1;
}

// Closes the current display line with `count` bytes and opens the next one
// at `next`. On failure the table keeps lineCount below lineCapacity.
static bool BreakLine(ViewState* vs, int count, int next) {
    vs->lineLength[vs->lineCount - 1] = count;
    vs->lineStart[vs->lineCount] = next;
    vs->lineLength[vs->lineCount] = 0;
    vs->lineCount++;
    if (vs->lineCount == vs->lineCapacity && !GrowLineTables(vs)) {
        vs->lineCount--;
        return false;
    }
    return true;
}

// The last character start at or before `q`, walking from `from`, one.
static int CharStartAtOrBefore(const ViewState* vs, int from, int q) {
    for (int bytes; from + (bytes = CharBytes(vs, from)) <= q;) from += bytes;
    return from;
}

// Places the walker's plain stretch up to `end` (one avgCharWidth per byte,
// PlainStretchEnd) by arithmetic: the rows the character walk below would
// make of it, with `count` the bytes of the row being filled. `perRow`
// bytes fit an empty row. False when the line tables cannot grow.
static bool PlacePlainStretch(ViewState* vs, LineWalker* w, int end, bool hasPairs, int right, int perRow,
                              int* count) {
    const int avg = vs->avgCharWidth;
    int p = w->next;
    w->counted += end - p;
    w->next = end;
    // A character joins its row while its right edge stays left of `right`:
    // `fit` bytes from p on, one fewer where that would split a pair.
    int fit = right > w->nextX ? (right - w->nextX - 1) / avg : 0;
    bool broke = false;
    while (end - p > fit) {
        int q = hasPairs ? CharStartAtOrBefore(vs, p, p + fit) : p + fit;
        if (!BreakLine(vs, *count + q - p, q)) return false;
        *count = 0;
        p = q;
        fit = perRow;
        broke = true;
    }
    *count += end - p;
    w->nextX = (broke ? vs->leftMargin : w->nextX) + (end - p) * avg;
    w->nextColumn = (broke ? 0 : w->nextColumn) + end - p;
    return true;
}

int LayoutLines(HWND hwnd, ViewState* vs, int start) {
    RECT rc;
    GetClientRect(hwnd, &rc);
    const int right = rc.right - vs->rightMargin;
    // Bytes of one average width each that fit an empty row. Below two a
    // double-byte character may get a row of its own: the walk decides.
    const int room = right - vs->leftMargin;
    const int perRow = g_layoutByArithmetic && vs->fixedPitch && room > 0 ? (room - 1) / vs->avgCharWidth : 0;

    // A re-layout from a wrapped continuation line starts in the bold state
    // a full layout reaches there.
    LineWalker w;
    StartWalk(&w, vs, start, BoldAt(vs, start), INT_MAX);
    int count = 0;  // counted bytes of the display line being filled
    bool ok = true;
    while (ok) {
        if (perRow >= 2 && !w.bold) {
            bool hasPairs;
            int end = PlainStretchEnd(vs, w.next, &hasPairs);
            if (end > w.next) {
                ok = PlacePlainStretch(vs, &w, end, hasPairs, right, perRow, &count);
                continue;
            }
        }
        if (!TakeCharacter(&w)) break;
        char c = vs->text[w.pos];
        if (c == '\r') continue;  // no room, not counted
        if (c == '\n') {
            ok = BreakLine(vs, count, w.next);
            count = 0;
        } else if (c == '\t') {
            // A tab joins its line; one that passes the limit ends it.
            count++;
            if (w.nextX > right) {
                ok = BreakLine(vs, count, w.next);
                count = 0;
                w.nextX = vs->leftMargin;
                w.nextColumn = 0;
            }
        } else if (w.x + w.width < right) {
            count += w.bytes;
        } else {
            // Even a character too wide for an empty line gets a line of its own.
            ok = BreakLine(vs, count, w.pos);
            count = w.bytes;
            w.nextX = vs->leftMargin + w.width;
            w.nextColumn = w.bytes;
        }
    }
    g_layoutBytesWalked += w.next - start;
    if (!ok) return 0;
    vs->lineLength[vs->lineCount - 1] = count;
    UpdateMaxTopLine(vs, rc.bottom);
    return 1;
}

LRESULT OnAppendText(HWND hwnd, const char* text) {
    ViewState* vs = GetViewState(hwnd);
    if (!vs || !text) return 0;
    return AppendText(hwnd, vs, text);
}

// New empty line tables at the initial size; false, with nothing changed,
// when they cannot both be made.
static bool NewLineTables(int** starts, int** lengths) {
    *starts = static_cast<int*>(ViewAlloc(kInitialLineCapacity * sizeof(int)));
    *lengths = *starts ? static_cast<int*>(ViewAlloc(kInitialLineCapacity * sizeof(int))) : nullptr;
    if (*lengths) return true;
    ViewFree(*starts);
    return false;
}

// Frees the view's line tables and puts the new ones in their place.
static void InstallLineTables(ViewState* vs, int* starts, int* lengths) {
    ViewFree(vs->lineStart);
    ViewFree(vs->lineLength);
    vs->lineStart = starts;
    vs->lineLength = lengths;
    vs->lineCapacity = kInitialLineCapacity;
}

LRESULT OnSetText(HWND hwnd, const char* text) {
    ViewState* vs = GetViewState(hwnd);
    if (!vs) return 0;
    if (vs->textLimit == 0) {
        // Back to the initial sizes; the old buffers stay until all new ones exist.
        int *starts, *lengths;
        if (!NewLineTables(&starts, &lengths)) return 0;
        if (!ReplaceByteBuffers(vs, kInitialCapacity)) {
            ViewFree(starts);
            ViewFree(lengths);
            return 0;
        }
        InstallLineTables(vs, starts, lengths);
    }
    EmptyText(vs);
    vs->goalX = 0;
    vs->maxTopLine = 0;
    return AppendText(hwnd, vs, text ? text : "");
}

// Removes the text before `cut`, a line's start. Nothing is repainted here.
// A view scrolled back keeps showing the text it showed, as far as that is
// left; at the bottom it stays there.
static void CutKeepingPlace(ViewState* vs, int cut) {
    bool atBottom = AtBottom(vs);
    int k = FrontCut(vs, cut, false);
    if (!atBottom) vs->topLine = vs->topLine > k ? vs->topLine - k : 0;
    ClampTopLine(vs);
}

// Keeps the newest `keep` of the text's logical lines, as a lowered line
// limit does.
static void KeepNewestLines(ViewState* vs, int keep) {
    CutKeepingPlace(vs, OffsetAfterLineFeed(vs->text, vs->length, vs->logicalLineCount - keep));
}

LRESULT OnSetMaxLines(HWND hwnd, int maxLines) {
    ViewState* vs = GetViewState(hwnd);
    if (!vs) return 0;
    vs->maxLines = maxLines > 0 ? maxLines : 0;
    // logicalLineCount is kept exact with or without a limit.
    if (vs->maxLines > 0 && vs->logicalLineCount - 1 > vs->maxLines) KeepNewestLines(vs, vs->maxLines);
    return 0;
}

LRESULT OnTrimLines(HWND hwnd, int keep) {
    ViewState* vs = GetViewState(hwnd);
    // A tenth of slack: a host that trims after every entry cuts once per
    // keep / 10 lines, not at every line.
    if (!vs || keep <= 0 || vs->logicalLineCount - keep <= keep / 10) return 0;
    int before = vs->logicalLineCount;
    KeepNewestLines(vs, keep);
    return before - vs->logicalLineCount;
}

LRESULT OnCutFront(HWND hwnd, int offset) {
    ViewState* vs = GetViewState(hwnd);
    if (!vs || offset <= 0) return 0;
    // Whole lines only: the cut moves back to the start of the line it falls in.
    int cut = LogicalLineStart(vs->text, offset < vs->length ? offset : vs->length);
    if (cut == 0) return 0;
    CutKeepingPlace(vs, cut);
    ScreenChanged(hwnd, vs);
    return cut;
}

// A full layout in the present line tables after a change of what a line
// holds (the tab width); lines missing for lack of memory come back at the
// next full layout.
void LayOutAll(HWND hwnd, ViewState* vs) {
    vs->lineCount = 1;
    vs->lineStart[0] = 0;
    NoteAllChanged(vs);
    if (!LayoutLines(hwnd, vs, 0)) vs->layoutWidth = 0;
    ClampTopLine(vs);
}

// A full layout in fresh line tables for a new width; false when the tables
// cannot be made (the old ones and their layout stay).
static bool LayOutAgain(HWND hwnd, ViewState* vs, int width) {
    int *starts, *lengths;
    if (!NewLineTables(&starts, &lengths)) return false;
    InstallLineTables(vs, starts, lengths);
    vs->lineCount = 1;
    vs->layoutWidth = width;
    if (!LayoutLines(hwnd, vs, 0)) {
        vs->layoutWidth = 0;  // lines are missing: lay out again at the next size change
        return false;
    }
    return true;
}

// Keeps the newest whole logical lines that fit a limit of `limit` bytes.
// Every new buffer is made before any old one is let go, so that out of
// memory the view keeps its text, its layout and its old limit.
bool LimitText(HWND hwnd, ViewState* vs, int limit) {
    int from = vs->length >= limit ? SkipPastNextLineFeed(vs->text, vs->length - limit + 1, vs->length) : 0;
    int kept = vs->length - from;
    ByteBuffers b;
    if (!NewByteBuffers(&b, limit)) return false;
    int *starts = nullptr, *lengths = nullptr;
    if (!NewLineTables(&starts, &lengths)) {
        ViewFree(b.colors);
        ViewFree(b.flags);
        ViewFree(b.text);
        return false;
    }
    // The kept text with its NUL, and its attributes with the pending ones.
    memcpy(b.text, vs->text + from, kept + 1);
    memcpy(b.flags, vs->attrFlags + from, kept + 1);
    memcpy(b.colors, vs->attrColors + from, kept + 1);
    InstallByteBuffers(vs, b, limit);
    vs->textLimit = limit;
    vs->length = kept;
    vs->logicalLineCount = CountLineFeeds(vs->text, kept) + 1;
    InstallLineTables(vs, starts, lengths);
    vs->lineCount = 1;
    vs->maxTopLine = 0;
    NoteAllChanged(vs);
    RECT rc;
    GetClientRect(hwnd, &rc);
    // Line tables that cannot grow leave lines missing until the next full layout.
    if (!LayoutLines(hwnd, vs, 0)) vs->layoutWidth = 0;
    vs->caret = vs->anchor = vs->length;
    vs->goalX = 0;
    return true;
}

LRESULT OnSize(HWND hwnd) {
    ViewState* vs = GetViewState(hwnd);
    if (!vs) return 0;
    bool atBottom = AtBottom(vs);
    RECT rc;
    GetClientRect(hwnd, &rc);
    // Out of memory the old layout stays; the scroll range must still fit the new height.
    if (rc.right == vs->layoutWidth || !LayOutAgain(hwnd, vs, rc.right)) UpdateMaxTopLine(vs, rc.bottom);
    if (atBottom) vs->topLine = vs->maxTopLine;
    ClampTopLine(vs);
    RecreateBackBitmap(hwnd, vs);
    InvalidateAll(hwnd, vs);
    SyncScrollBar(hwnd, vs);
    return 0;
}
