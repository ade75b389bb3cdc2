// Hit testing: the position a click gives, against the x at which painting
// places the caret, and the rows above, below and beside the text.
#include <gtest/gtest.h>

#include <string>

#include "colorview/fonts.h"
#include "colorview/hit_test.h"
#include "colorview/paint.h"
#include "tests/colorview/view_fixture.h"

namespace {

// Shift-JIS: two double-byte characters, 日 and 本.
const char kNichi[] = "\x93\xfa";
const char kHon[] = "\x96\x7b";

int Hit(HWND view, int x, int y) {
    ViewState* vs = StateOf(view);
    return PositionFromPoint(view, vs, x, y);
}

// Picks the default fixed-pitch face at the first point size whose average
// width is `width` (the Japanese Gothic face installed with the build gives
// 7 and 8); false when the installed fonts have none.
bool UseAverageWidth(HWND view, int width) {
    for (int points = 6; points <= 30; points++) {
        SendMessageA(view, CVM_SETFONTFACE, points, 0);
        ViewState* vs = StateOf(view);
        if (vs->avgCharWidth == width && vs->fixedPitch) return true;
    }
    return false;
}

struct PointCase {
    int avgWidth;
    const char* text;
    int x;
    int expected;
};

// leftMargin 1: position k's threshold is 1 + (left edge of k) - avgWidth / 2.
TEST(HitTest, HalfAverageWidthThreshold) {
    const std::string pair = std::string("a") + kNichi + "b";
    const PointCase cases[] = {
        {8, "abcdef", 4, 0},
        {8, "abcdef", 5, 1},
        {8, "abcdef", 12, 1},
        {8, "abcdef", 13, 2},
        {8, "abcdef", -50, 0},
        {8, "abcdef", 2000, 6},
        {7, "abcdef", 4, 0},
        {7, "abcdef", 5, 1},
        {7, "abcdef", 11, 1},
        {7, "abcdef", 12, 2},
        {7, "abcdef", 40, 6},
        {7, "abcdef", 39, 5},
        // The pair spans x 9..25: its far side is taken from 25 - 4 on.
        {8, pair.c_str(), 20, 1},
        {8, pair.c_str(), 21, 3},
        {8, pair.c_str(), 28, 3},
        {8, pair.c_str(), 29, 4},
        // A tab at column 3 spans five average widths: x 25..65.
        {8, "abc\td", 24, 3},
        {8, "abc\td", 60, 3},
        {8, "abc\td", 61, 4},
    };
    TestView tv = CreateTestView(400, 200);
    int widthInUse = 0;
    for (const PointCase& c : cases) {
        if (c.avgWidth != widthInUse) {
            ASSERT_TRUE(UseAverageWidth(tv.view, c.avgWidth)) << "no font of average width " << c.avgWidth;
            widthInUse = c.avgWidth;
        }
        SendMessageA(tv.view, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(c.text));
        int y = StateOf(tv.view)->lineHeight / 2;
        EXPECT_EQ(Hit(tv.view, c.x, y), c.expected) << "width " << c.avgWidth << " x " << c.x;
    }
    // Whatever x, a hit never falls between the two bytes of a pair.
    SendMessageA(tv.view, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(pair.c_str()));
    for (int x = -10; x < 60; x++) EXPECT_NE(Hit(tv.view, x, 3), 2) << "x " << x;
    DestroyTestView(&tv);
}

struct RowCase {
    const char* what;
    int top;  // topLine before the hit
    int row;  // y = row * lineHeight + dy
    int dy;
    int x;
    int expected;  // text offset; -1 for the end of the text
};

// Three logical lines, the second wrapped by a narrow view: "0123456789"
// breaks into display lines of few characters each.
TEST(HitTest, RowsAboveBelowAndBesideTheText) {
    TestView tv = CreateTestView(200, 200);
    ASSERT_TRUE(UseAverageWidth(tv.view, 8) || UseAverageWidth(tv.view, 6));
    ViewState* vs = StateOf(tv.view);
    // Room for 5 characters: 1 + 5 * w < width - rightMargin.
    ResizeView(tv, 1 + 5 * vs->avgCharWidth + 3 + GetSystemMetrics(SM_CXVSCROLL), 3 * vs->lineHeight);
    Append(tv.view, "ab\r\n0123456789xy\r\nlast");
    ASSERT_EQ(vs->lineCount, 5);  // ab | 01234 | 56789 | xy | last
    ASSERT_EQ(vs->lineStart[2], 9);
    ASSERT_EQ(vs->maxTopLine, 2);
    const int lh = vs->lineHeight;
    const RowCase cases[] = {
        {"right of a CR LF line: the CR", 0, 0, 1, 500, 2},
        {"right of a soft-wrapped line: the next line's start", 0, 1, 1, 500, 9},
        {"left of the text", 0, 1, 1, -500, 4},
        {"below the last line, x 0", 0, 5, 0, 0, -1},
        {"far below, far left", 0, 40, 0, -500, -1},
        {"the last line, right", 2, 2, lh - 1, 500, -1},
        {"y -1 with topLine 2: topLine", 2, 0, -1, 0, 9},
        {"y -(lh - 1): still topLine", 2, 0, -(lh - 1), 0, 9},
        {"y -lh: the line above", 2, -1, 0, 500, 9},
        {"y -lh with topLine 0: the start", 0, -1, 0, 500, 0},
        {"y -2 lh with topLine 1: the start", 1, -2, 0, 500, 0},
    };
    for (const RowCase& c : cases) {
        vs->topLine = c.top;
        int expected = c.expected < 0 ? vs->length : c.expected;
        EXPECT_EQ(Hit(tv.view, c.x, c.row * lh + c.dy), expected) << c.what;
    }
    DestroyTestView(&tv);
}

// Every position of `line` must come back from a click at its caret x, and
// from one half an average width minus one further right.
void ExpectRoundTrip(HWND view, int line, RunState* pen) {
    ViewState* vs = StateOf(view);
    const int half = vs->avgCharWidth / 2;
    const int y = (line - vs->topLine) * vs->lineHeight + vs->lineHeight / 2;
    // A carriage return inside the line takes no room: a click at its x
    // lands after it, on the character drawn there.
    for (int pos = vs->lineStart[line], counted = 0;; pos += CharBytes(vs, pos)) {
        bool last = counted == vs->lineLength[line];
        if (vs->text[pos] == '\r' && !last) continue;
        int x = XFromPosition(vs, line, pen, pos);
        EXPECT_EQ(Hit(view, x, y), pos) << "line " << line << " x " << x;
        EXPECT_EQ(Hit(view, x + half - 1, y), pos) << "line " << line << " x " << x << " + " << half - 1;
        if (last) break;
        counted += CharBytes(vs, pos);
    }
    DrawDisplayLine(vs, line, pen);  // carries the pen on as painting does
}

struct RoundTripCase {
    const char* face;  // null: the default fixed-pitch face
    int width;         // of the view
};

// Plain, bold (wider than plain here), tabs, a lone CR and double-byte characters in
// one logical line, in the default fixed-pitch face and a proportional one; in the narrow view it wraps
// inside the bold part, so the later display lines must pick up the bold state from the earlier ones.
TEST(HitTest, EveryPositionRoundTripsWithPainting) {
    // Capitals wider than half an average width even in the proportional face.
    const std::string mixed = std::string("AB\x02") + "CD" + kNichi + "\x02" + "E\tG" + kHon + "\x02" +
                              "HK\tMN" + kNichi + "OP\x02" + "Q\rR\t" + kHon + "ST\r\nU\x02V\t" + kNichi + "W";
    const RoundTripCase cases[] = {{nullptr, 600}, {nullptr, 90}, {"IPAPGothic", 600}, {"IPAPGothic", 90}};
    for (const RoundTripCase& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.face ? c.face : "fixed pitch") << ", width " << c.width);
        TestView tv = CreateTestView(c.width, 300);
        SendMessageA(tv.view, CVM_SETFONTFACE, 9, reinterpret_cast<LPARAM>(c.face));
        Append(tv.view, mixed);
        ViewState* vs = StateOf(tv.view);
        if (c.width < 100) {
            EXPECT_GT(vs->lineCount, 4) << "the narrow view should wrap the first line";
        }

        RunState pen;
        InitRunState(&pen, vs);
        for (int line = 0; line < vs->lineCount; line++) ExpectRoundTrip(tv.view, line, &pen);
        DestroyTestView(&tv);
    }
}

// Bold switched on in the first display line and still on after a soft wrap
// is measured with the bold font on the next line too.
TEST(HitTest, BoldCarriesAcrossASoftWrap) {
    TestView tv = CreateTestView(400, 200);
    ViewState* vs = StateOf(tv.view);
    const int w = vs->avgCharWidth;
    ResizeView(tv, 1 + 8 * w + 3 + GetSystemMetrics(SM_CXVSCROLL), 200);
    Append(tv.view, "abc\002defghijklmnopqrstuvwxyz");
    ASSERT_GT(vs->lineCount, 2);
    UseFont(vs, 1, 0, 0);
    SIZE bold = {};
    GetTextExtentPoint32A(vs->memDC, "m", 1, &bold);
    if (bold.cx == w) GTEST_SKIP() << "bold is no wider than plain in this font";
    // Right at the edge of the sixth bold character of line 1: a plain
    // measure would already give the seventh.
    const int line1 = vs->lineStart[1];
    const int x = 1 + 6 * bold.cx - w / 2 - 1;
    EXPECT_EQ(Hit(tv.view, x, vs->lineHeight + 1), line1 + 5);
    EXPECT_EQ(Hit(tv.view, x + 1, vs->lineHeight + 1), line1 + 6);
    DestroyTestView(&tv);
}

// Hits in a nearly full GDI handle table, each making and dropping bold and
// regular fonts: a font left behind per hit would use up the last handles.
TEST(HitTest, HitsLeaveNoFontBehind) {
    TestView tv = CreateTestView(400, 200);
    Append(tv.view, "a\002bc\002d\002ef");
    ViewState* vs = StateOf(tv.view);
    GdiSqueeze squeeze;
    SqueezeGdiTable(&squeeze, 500);
    for (int i = 0; i < 2000; i++) ASSERT_EQ(Hit(tv.view, 200, 1), vs->length) << "hit " << i;
    HFONT font = MakeViewFont(vs->memDC, vs, 1, 0, 0);
    ReleaseGdiTable(&squeeze);
    EXPECT_NE(font, nullptr);
    DeleteObject(font);
    DestroyTestView(&tv);
}

}  // namespace
