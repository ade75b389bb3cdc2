// Painting, read back as pixels from the back buffer after a full repaint:
// colours and their order, bands, line ends, reverse, the selection, tabs,
// the margin, mask mode, partial repaints, the caret and GDI leaks.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "colorview/color_codes.h"
#include "colorview/fonts.h"
#include "colorview/paint.h"
#include "tests/colorview/view_fixture.h"

namespace {

// Default colours that no palette entry has, so every pixel tells its source.
const COLORREF kInk = RGB(16, 32, 48);
const COLORREF kPaper = RGB(250, 245, 240);
const COLORREF kRed = RGB(255, 0, 0);    // palette 1
const COLORREF kBlue = RGB(0, 0, 255);   // palette 15
const COLORREF kWhite = RGB(255, 255, 255);  // palette 0

// One view serves every test (creating a window is slow under the
// emulator); each test starts from the same size, colours and empty text.
class PaintTest : public ::testing::Test {
protected:
    static TestView tv;
    ViewState* vs = nullptr;

    static void SetUpTestSuite() { tv = CreateTestView(400, 200); }
    static void TearDownTestSuite() { DestroyTestView(&tv); }
    void SetUp() override {
        g_maskMode = 0;
        ResizeView(tv, 400, 200);
        SendMessageA(tv.view, CVM_SETCOLORS, kInk, kPaper);
        vs = StateOf(tv.view);
        Show("");
    }
    void TearDown() override { g_maskMode = 0; }
    void Show(const std::string& text) {
        SendMessageA(tv.view, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
        Repaint();
    }
    void Repaint(const RECT* area = nullptr) {
        InvalidateRect(tv.view, area, FALSE);
        UpdateWindow(tv.view);
    }
    int X(int column) const { return vs->leftMargin + column * vs->avgCharWidth; }
    int Top(int line) const { return (line - vs->topLine) * vs->lineHeight; }
    // The cells of columns [c0, c1) of a display line, full line height.
    RECT Cells(int line, int c0, int c1) const { return {X(c0), Top(line), X(c1), Top(line) + vs->lineHeight}; }
    int Count(RECT r, COLORREF color) const {
        int n = 0;
        for (int y = r.top; y < r.bottom; y++)
            for (int x = r.left; x < r.right; x++) n += GetPixel(vs->memDC, x, y) == color;
        return n;
    }
    int Area(RECT r) const { return (r.right - r.left) * (r.bottom - r.top); }
    // The top row of a line is spacing: no glyph reaches it, it shows the background.
    RECT TopRow(int line, int c0, int c1) const { return {X(c0), Top(line), X(c1), Top(line) + 1}; }
    // Narrows the view so that exactly `columns` average widths fit a row.
    void FitColumns(int columns) {
        RECT window;
        GetWindowRect(tv.view, &window);
        int frame = (window.right - window.left) - ClientRect(tv.view).right;
        ResizeView(tv, X(columns) + vs->rightMargin + 1 + frame, 200);
    }
    std::vector<COLORREF> Pixels(RECT r) const {
        std::vector<COLORREF> out;
        for (int y = r.top; y < r.bottom; y++)
            for (int x = r.left; x < r.right; x++) out.push_back(GetPixel(vs->memDC, x, y));
        return out;
    }
};

TestView PaintTest::tv;

TEST_F(PaintTest, ForegroundCommandColoursItsTextAndReachesTheScreen) {
    Show("ab\x03" "1HHHH");
    RECT red = Cells(0, 2, 6);
    EXPECT_GT(Count(red, kRed), 0);
    EXPECT_EQ(Count(red, kInk), 0);
    EXPECT_GT(Count(Cells(0, 0, 2), kInk), 0);
    EXPECT_EQ(Count(Cells(0, 0, 2), kRed), 0);
    // The one block copy put the back buffer on the window.
    HDC windowDC = GetDC(tv.view);
    int same = 0;
    for (int x = red.left; x < red.right; x++)
        for (int y = red.top; y < red.bottom; y++) same += GetPixel(windowDC, x, y) == GetPixel(vs->memDC, x, y);
    ReleaseDC(tv.view, windowDC);
    EXPECT_EQ(same, Area(red));
}

TEST_F(PaintTest, BackgroundIsABandOfLineHeightAndTheMarginStaysPaper) {
    Show("\x03" "0,15HHHH\r\n\x03" "0,15HHHH\r\nHHHH");
    for (int line = 0; line < 2; line++) {
        RECT band = Cells(line, 0, 4);
        EXPECT_EQ(Count(band, kPaper), 0) << "line " << line;
        EXPECT_EQ(Count(TopRow(line, 0, 4), kBlue), 4 * vs->avgCharWidth);
        RECT bottom = {X(0), Top(line + 1) - 1, X(4), Top(line + 1)};
        EXPECT_EQ(Count(bottom, kBlue), 4 * vs->avgCharWidth) << "band reaches the next line";
        EXPECT_EQ(Count(Cells(line, 4, 20), kPaper), Area(Cells(line, 4, 20))) << "right of the text";
    }
    // Line ends return to the defaults without a reset code.
    EXPECT_EQ(Count(Cells(2, 0, 4), kBlue), 0);
    EXPECT_GT(Count(Cells(2, 0, 4), kInk), 0);
    RECT margin = {0, 0, vs->leftMargin, 3 * vs->lineHeight};
    EXPECT_EQ(Count(margin, kPaper), Area(margin));
}

// Several changes at one byte apply in a fixed order; reverse swaps the
// view's default pair whatever colours were in force, and restores them.
TEST_F(PaintTest, AttributeOrderAndReverse) {
    struct Case {
        const char* text;  // "aa" then four cells under test
        COLORREF ink, background;
    } cases[] = {
        {"\x03" "1aa\x03\x03" "15HHHH", kBlue, kPaper},        // reset, then colour
        {"\x03" "1aa\x16\x03" "15HHHH", kBlue, kInk},          // reverse, then colour
        {"\x03" "1aa\x16HHHH", kPaper, kInk},                  // reversed defaults
        {"\x03" "1aa\x16xx\x16HHHH", kRed, kPaper},            // reverse off restores red
    };
    for (const Case& c : cases) {
        Show(c.text);
        int at = static_cast<int>(ViewText(tv.view).find("HHHH"));
        RECT cells = Cells(0, at, at + 4);
        EXPECT_GT(Count(cells, c.ink), 0) << c.text;
        EXPECT_EQ(Count(TopRow(0, at, at + 4), c.background), 4 * vs->avgCharWidth) << c.text;
    }
}

TEST_F(PaintTest, SelectionSpansASoftWrapButNotTheLineBreak) {
    FitColumns(10);
    Show("0123456789abcdefXYZ\r\nnext");
    ASSERT_EQ(DisplayLine(tv.view, 1), "abcdefXYZ\r\n");
    const COLORREF light = GetSysColor(COLOR_HIGHLIGHT);
    vs->anchor = 5;
    vs->caret = static_cast<int>(ViewText(tv.view).find("next"));  // through the CR LF
    Repaint();
    EXPECT_EQ(Count(TopRow(0, 0, 5), light), 0);
    EXPECT_EQ(Count(TopRow(0, 5, 10), light), 5 * vs->avgCharWidth);
    EXPECT_EQ(Count(TopRow(1, 0, 9), light), 9 * vs->avgCharWidth);
    RECT right = {X(9), Top(1), ClientRect(tv.view).right, Top(2)};
    EXPECT_EQ(Count(right, light), 0);
    EXPECT_EQ(Count(Cells(2, 0, 4), light), 0);
}

TEST_F(PaintTest, TabAtColumnThreeFillsFiveWidthsInTheCurrentBackground) {
    const COLORREF light = GetSysColor(COLOR_HIGHLIGHT);
    for (int selected = 0; selected < 2; selected++) {
        Show("\x03" "0,15abc\tdef");
        vs->anchor = selected ? 3 : 0;
        vs->caret = selected ? 4 : 0;
        Repaint();
        COLORREF fill = selected ? light : kBlue;
        RECT tab = Cells(0, 3, 8);
        EXPECT_EQ(Count(tab, fill), Area(tab)) << "selected " << selected;
        EXPECT_EQ(Count(TopRow(0, 8, 11), kBlue), 3 * vs->avgCharWidth) << "def starts 5 widths on";
    }
}

TEST_F(PaintTest, MaskModeDrawsExactlyTheMaskedText) {
    struct Case {
        const char* text;
        const char* masked;
    } cases[] = {
        {"12:00:01", "XX:XX:XX"},
        {"[kern] host: a-b.c", "[XXXX] XXXX: X-X.X"},
        {"\x95\x5C|\x83\x7C", "X\x5C|X\x7C"},        // trail bytes 0x5C and 0x7C are delimiters
        {"\x82\xA0\x09z", "XX\x09X"},               // a double-byte character, a tab
    };
    for (const Case& c : cases) {
        RECT row = Cells(0, 0, 12);
        g_maskMode = 0;
        Show(c.masked);
        std::vector<COLORREF> expected = Pixels(row);
        Show(c.text);
        std::vector<COLORREF> plain = Pixels(row);
        g_maskMode = 1;
        Repaint();
        EXPECT_TRUE(Pixels(row) == expected) << c.masked;
        EXPECT_FALSE(plain == expected) << c.masked;
        EXPECT_EQ(ViewText(tv.view), c.text) << "the text itself is never masked";
    }
}

TEST_F(PaintTest, MaskedRunWithoutMemoryIsNotDrawn) {
    g_maskMode = 1;
    Show("\x03" "1,15secret");
    g_viewAllocFailCountdown = 1;  // the masked copy of the one run
    Repaint();
    g_viewAllocFailCountdown = 0;
    RECT row = Cells(0, 0, 10);
    EXPECT_EQ(Count(row, kPaper), Area(row));
    Repaint();
    EXPECT_GT(Count(row, kBlue), 0);
}

// Repainting only the lower rows of a wrapped logical line still starts
// from its first display line, here scrolled above the top.
TEST_F(PaintTest, PartialRepaintCarriesTheStylesOfTheLogicalLine) {
    FitColumns(10);
    Show("x\r\n\x03" "1,15" + std::string(30, 'H') + "\r\nplain");
    ASSERT_GE(vs->lineCount, 5);
    vs->topLine = 2;  // display line 1, where the colour starts, is above the top
    RECT lower = {0, vs->lineHeight, ClientRect(tv.view).right, 2 * vs->lineHeight};
    Repaint(&lower);
    EXPECT_GT(Count(Cells(3, 0, 10), kRed), 0);
    EXPECT_EQ(Count(TopRow(3, 0, 10), kBlue), 10 * vs->avgCharWidth);
}

TEST_F(PaintTest, CaretIsPlacedBeforeItsCharacter) {
    SetFocus(tv.view);
    ASSERT_EQ(GetFocus(), tv.view);
    CreateCaret(tv.view, nullptr, 0, vs->lineHeight);
    const int a = vs->avgCharWidth;
    struct Case {
        const char* text;
        int caret, x, line;
    } cases[] = {
        {"", 0, 1, 0},
        {"abc", 1, 1 + a, 0},
        {"a\tb", 2, 1 + 8 * a, 0},
        {"\x82\xA0" "b", 2, 1 + 2 * a, 0},
        {"abc\r\nde", 7, 1 + 2 * a, 1},
        {"0123456789abcdefghijklmnopqrstuvwxyz0123456789abcdefghijklmnopqrstuvwxyz", 70, 0, -1},
    };
    for (const Case& c : cases) {
        Show(c.text);
        vs->caret = vs->anchor = c.caret;
        int line = LineFromOffset(vs, c.caret);
        // A caret line outside the update rectangle is placed all the same.
        RECT top = {0, 0, 10, 1};
        Repaint(line > 0 && c.line < 0 ? &top : nullptr);
        int x = c.line < 0 ? 1 + (c.caret - vs->lineStart[line]) * a : c.x;
        POINT pos;
        GetCaretPos(&pos);
        EXPECT_EQ(pos.x, x) << c.text;
        EXPECT_EQ(pos.y, Top(line)) << c.text;
    }
    // Bold text is measured by its real extent.
    Show("\x02" "WW");
    vs->caret = 2;
    Repaint();
    HFONT bold = MakeViewFont(vs->memDC, vs, 1, 0, 0);
    HGDIOBJ old = SelectObject(vs->memDC, bold);
    SIZE one;
    GetTextExtentPoint32A(vs->memDC, "W", 1, &one);
    DeleteObject(SelectObject(vs->memDC, old));
    POINT pos;
    GetCaretPos(&pos);
    EXPECT_EQ(pos.x, 1 + 2 * one.cx);
    DestroyCaret();
}

// More paints than the GDI handle table has room for, each making and
// dropping fonts for every style and a brush for the tab: a leak of one
// object per paint would exhaust the table before the last paint.
TEST_F(PaintTest, PaintsLeakNoGdiObjectsAndKeepTheOriginalFont) {
    ResizeView(tv, 120, 40);  // a small copy to the screen keeps the loop quick
    Show("\x02" "bb\x02\x1Fu\x1F\x14i\x14\tHH\r\n\x16r");
    HGDIOBJ before = GetCurrentObject(vs->memDC, OBJ_FONT);
    RECT row = Cells(0, 0, 14);
    std::vector<COLORREF> first = Pixels(row);
    ASSERT_GT(Count(row, kInk), 0);
    GdiSqueeze squeeze;
    SqueezeGdiTable(&squeeze, 300);
    for (int i = 0; i < 2000; i++) {
        g_maskMode = static_cast<unsigned char>(i & 1);
        Repaint();
    }
    g_maskMode = 0;
    Repaint();
    EXPECT_EQ(GetCurrentObject(vs->memDC, OBJ_FONT), before);
    EXPECT_TRUE(Pixels(row) == first) << "the last paint draws every style as the first did";
    HBRUSH probe = CreateSolidBrush(kRed);
    EXPECT_NE(probe, nullptr);
    DeleteObject(probe);
    ReleaseGdiTable(&squeeze);
}

// A carriage return inside a line takes no room and hides nothing: the
// line draws as if it were not there, down to its last character.
TEST_F(PaintTest, LoneCarriageReturnTakesNoRoom) {
    Show("ab\x03" "1cd");
    std::vector<COLORREF> plain = Pixels(Cells(0, 0, 6));
    Show("ab\r\x03" "1cd");
    EXPECT_TRUE(Pixels(Cells(0, 0, 6)) == plain);
    EXPECT_GT(Count(Cells(0, 3, 4), kRed), 0);
}

}  // namespace
