// The caret and the selection under keys, the selection messages and the
// mouse: sequences of input on a real, focused view, each row ending in the
// caret and anchor it must leave, with every invariant checked after it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/colorview/view_fixture.h"

namespace {

enum Mods { kNone = 0, kShift = 1, kCtrl = 2 };

// Holds Shift and Ctrl as the view reads them (GetKeyState) for one call.
void HoldKeys(int mods) {
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    keys[VK_SHIFT] = (mods & kShift) ? 0x80 : 0;
    keys[VK_CONTROL] = (mods & kCtrl) ? 0x80 : 0;
    SetKeyboardState(keys);
}

struct Step {
    UINT msg;  // WM_KEYDOWN, EM_SETSEL or CVM_FIND
    WPARAM a;  // virtual key, one end, or the find options
    LPARAM b;  // Mods, the other end, or the text to find
};
Step Key(UINT vk, int mods = kNone) {
    return {WM_KEYDOWN, vk, mods};
}
Step SetSel(int a, int b) {
    return {EM_SETSEL, static_cast<WPARAM>(a), b};
}
Step Find(const char* text, WPARAM options = 0) {
    return {CVM_FIND, options, reinterpret_cast<LPARAM>(text)};
}

struct KeyCase {
    const char* what;
    std::string text;
    int caret, anchor;  // before the steps
    std::vector<Step> steps;
    int endCaret, endAnchor;
};

// "abcdefgh" CR LF "ab" CR LF "abcdefgh" CR LF "abcdefgh": lines start at 0, 10, 14, 24.
const std::string kRagged = "abcdefgh\r\nab\r\nabcdefgh\r\nabcdefgh";
const std::string kPair = std::string("a") + "\x93\xfa" + "b";  // a, a double-byte character, b

class Selection : public ViewTest {
protected:
    void SetUp() override {
        ViewTest::SetUp();
        SetFocus(tv_.view);
        PumpMessages();
    }
    void TearDown() override {
        HoldKeys(kNone);
        ViewTest::TearDown();
    }
    void Show(const std::string& text, int caret, int anchor) {
        SendMessageA(tv_.view, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
        vs()->caret = caret;
        vs()->anchor = anchor;
        InvalidateRect(tv_.view, nullptr, FALSE);
        UpdateWindow(tv_.view);  // places the system caret, which Up and Down read
    }
    void Run(const Step& s) {
        if (s.msg == WM_KEYDOWN) HoldKeys(static_cast<int>(s.b));
        SendMessageA(tv_.view, s.msg, s.a, s.msg == WM_KEYDOWN ? 0 : s.b);
        HoldKeys(kNone);
    }
};

TEST_F(Selection, KeysAndSelectionMessagesMoveCaretAndAnchor) {
    const KeyCase cases[] = {
        {"Left collapses a selection to its start first", "abcdef", 4, 1, {Key(VK_LEFT)}, 1, 1},
        {"Right collapses a selection to its end first", "abcdef", 1, 4, {Key(VK_RIGHT)}, 4, 4},
        {"Shift+Left grows the selection instead", "abcdef", 4, 1, {Key(VK_LEFT, kShift)}, 3, 1},
        {"Left at the start and Right at the end stay", "ab", 0, 0, {Key(VK_LEFT), Key(VK_END), Key(VK_RIGHT)}, 2, 2},
        {"a double-byte pair is one step", kPair, 1, 1, {Key(VK_RIGHT, kShift)}, 3, 1},
        {"and one step back", kPair, 3, 3, {Key(VK_LEFT)}, 1, 1},
        {"Left from a line start stops in front of CR LF, Right skips them", "abc\r\nde", 5, 5,
         {Key(VK_LEFT)}, 3, 3},
        {"... and Right goes back to the line start", "abc\r\nde", 3, 3, {Key(VK_RIGHT)}, 5, 5},
        {"Down, Down, End, Down keeps the x of the first Down", kRagged, 6, 6,
         {Key(VK_DOWN), Key(VK_DOWN), Key(VK_END), Key(VK_DOWN)}, 30, 30},
        {"Up on the first line stays and drops the selection", "abc\r\ndef", 2, 0, {Key(VK_UP)}, 2, 2},
        {"Down on the last line stays and drops the selection", "abc\r\ndef", 7, 5, {Key(VK_DOWN)}, 7, 7},
        {"Home goes to the logical line start, End in front of its CR", kRagged, 17, 17,
         {Key(VK_HOME), Key(VK_END, kShift)}, 22, 14},
        {"Home on an empty line stays on it", "ab\r\n\r\ncd", 4, 4, {Key(VK_HOME)}, 4, 4},
        {"... and so does End", "ab\r\n\r\ncd", 4, 4, {Key(VK_END)}, 4, 4},
        {"Home on an empty line between two line feeds", "a\n\nb", 2, 2, {Key(VK_HOME)}, 2, 2},
        {"Home after a leading line feed, then Shift+End", "\nabc", 3, 3, {Key(VK_HOME), Key(VK_END, kShift)}, 4, 1},
        {"Home and End at 0 in front of a line feed", "\nabc", 0, 0, {Key(VK_HOME), Key(VK_END)}, 0, 0},
        {"Home on the empty last line", "ab\r\n", 4, 4, {Key(VK_HOME)}, 4, 4},
        {"Home and End on an empty view", "", 0, 0, {Key(VK_HOME), Key(VK_END)}, 0, 0},
        {"Home stops after a lone CR", "ab\rcd", 5, 5, {Key(VK_HOME)}, 3, 3},
        {"End stops in front of a lone CR", "ab\rcd", 0, 0, {Key(VK_END)}, 2, 2},
        {"Ctrl+A on an empty view", "", 0, 0, {Key('A', kCtrl)}, 0, 0},
        {"Ctrl+A selects all, Shift or not", "abc\r\ndef", 1, 1, {Key('A', kCtrl | kShift)}, 8, 0},
        {"Shift+Ctrl+Home selects back to the start", "abc\r\ndef", 6, 7, {Key(VK_HOME, kShift | kCtrl)}, 0, 7},
        {"Ctrl+End goes to the end", kRagged, 3, 3, {Key(VK_END, kCtrl)}, 32, 32},
        {"A and C without Ctrl do nothing", "abc", 1, 1, {Key('A'), Key('C')}, 1, 1},
        {"EM_SETSEL (5, 2): the caret on the lower end", "abcdefgh", 0, 0, {SetSel(5, 2)}, 2, 5},
        {"EM_SETSEL (2, 5) gives the same", "abcdefgh", 0, 0, {SetSel(2, 5)}, 2, 5},
        {"EM_SETSEL (0, -1) selects all, caret at the end", "abcdefgh", 3, 3, {SetSel(0, -1)}, 8, 0},
        {"EM_SETSEL (-1, -1) does the same", "abcdefgh", 3, 3, {SetSel(-1, -1)}, 8, 0},
        {"EM_SETSEL beyond the text: empty at the end", "abcdefgh", 3, 3, {SetSel(50, 40)}, 8, 8},
        {"Find selects the next match, the caret at its end", "one two Two", 0, 0, {Find("two")}, 7, 4},
        {"... and the one after the selection", "one two Two", 0, 0, {Find("two"), Find("two")}, 11, 8},
        {"... with match case it skips the other case", "one two Two", 0, 0, {Find("Two", CVFIND_MATCHCASE)}, 11, 8},
        {"Find backward: the caret at the match's start", "one two Two", 11, 8, {Find("TWO", CVFIND_BACKWARD)}, 4, 7},
        {"Find wraps round to the start", "one two", 7, 7, {Find("one")}, 3, 0},
        {"Find without a match leaves the selection", "one two", 1, 5, {Find("three")}, 1, 5},
        {"Find never starts on a trail byte", "\x83\x41 A", 0, 0, {Find("a")}, 4, 3},
    };
    // Mask mode changes the picture alone: every row holds masked too.
    for (unsigned char mask : {0, 1}) {
        g_maskMode = mask;
        for (const KeyCase& c : cases) {
            SCOPED_TRACE(std::string(c.what) + (mask ? ", masked" : ""));
            Show(c.text, c.caret, c.anchor);
            for (const Step& s : c.steps) Run(s);
            EXPECT_EQ(vs()->caret, c.endCaret);
            EXPECT_EQ(vs()->anchor, c.endAnchor);
            EXPECT_EQ(CheckInvariants(tv_.view), "");
        }
    }
    g_maskMode = 0;
}

TEST_F(Selection, GetSelWritesFullOffsetsAndPacksSixteenBits) {
    Show(std::string(70000, 'x'), 0, 0);
    SendMessageA(tv_.view, EM_SETSEL, 69000, 66000);
    DWORD start = 0, end = 0;
    LRESULT packed = SendMessageA(tv_.view, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                                  reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, 66000u);
    EXPECT_EQ(end, 69000u);
    EXPECT_EQ(LOWORD(packed), 66000 & 0xFFFF);
    EXPECT_EQ(HIWORD(packed), 69000 & 0xFFFF);
    // Null pointers: only the packed result.
    EXPECT_EQ(SendMessageA(tv_.view, EM_GETSEL, 0, 0), packed);
}

// Keys that move the caret off the page bring its line into view, moving
// the picture with topLine.
TEST_F(Selection, ArrowsAndEmScrollCaretBringTheCaretIntoView) {
    std::string text;
    for (int i = 0; i < 60; i++) text += "line " + std::to_string(i) + "\r\n";
    Show(text, 0, 0);
    SendMessageA(tv_.view, WM_VSCROLL, SB_TOP, 0);
    EXPECT_EQ(vs()->topLine, 0);
    int visible = ClientRect(tv_.view).bottom / vs()->lineHeight;
    for (int i = 0; i < visible; i++) Run(Key(VK_DOWN));
    EXPECT_EQ(LineFromOffset(vs(), vs()->caret), visible);
    EXPECT_EQ(vs()->topLine, 1);
    EXPECT_EQ(GetScrollPos(tv_.view, SB_VERT), 1);
    Run(Key(VK_UP, kCtrl));  // Ctrl changes nothing for the arrows
    EXPECT_EQ(vs()->topLine, 1);
    SendMessageA(tv_.view, EM_SETSEL, 0, 0);
    SendMessageA(tv_.view, WM_VSCROLL, SB_BOTTOM, 0);
    EXPECT_EQ(SendMessageA(tv_.view, EM_SCROLLCARET, 0, 0), 1);
    EXPECT_EQ(vs()->topLine, 0);
    // A found match comes into view as a selection by keys does: its line
    // at the bottom going down, at the top going up (after wrapping).
    EXPECT_EQ(SendMessageA(tv_.view, CVM_FIND, 0, reinterpret_cast<LPARAM>("line 40")), CVFIND_FOUND);
    EXPECT_EQ(vs()->topLine, 40 - visible + 1);
    EXPECT_EQ(SendMessageA(tv_.view, CVM_FIND, 0, reinterpret_cast<LPARAM>("line 3\r")), CVFIND_FOUND | CVFIND_WRAPPED);
    EXPECT_EQ(vs()->topLine, 3);
    EXPECT_EQ(SendMessageA(tv_.view, CVM_FIND, 0, reinterpret_cast<LPARAM>("line 99")), 0);
    EXPECT_EQ(CheckInvariants(tv_.view), "");
}

// ---- Mouse --------------------------------------------------------------------

// The host's copy of the text each notification carried, while it was valid.
std::vector<std::pair<UINT, std::string>> g_notes;
WNDPROC g_hostProc;
LRESULT CALLBACK RecordNotes(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == CVN_DBLCLKTEXT || msg == CVN_RCLICKTEXT)
        g_notes.push_back({msg, reinterpret_cast<const char*>(lParam)});
    return CallWindowProcA(g_hostProc, hwnd, msg, wParam, lParam);
}

class Mouse : public Selection {
protected:
    LPARAM At(int column, int row) {
        ViewState* v = vs();
        return MAKELPARAM(v->leftMargin + column * v->avgCharWidth + 1, row * v->lineHeight + 2);
    }
    void Pointer(UINT msg, LPARAM point, WPARAM keys = 0) { SendMessageA(tv_.view, msg, keys, point); }
};

TEST_F(Mouse, ClickDragAndShiftClick) {
    Show("one two three\r\nfour five six\r\nseven", 0, 0);
    Pointer(WM_LBUTTONDOWN, At(4, 0), MK_LBUTTON);
    Pointer(WM_LBUTTONUP, At(4, 0));
    EXPECT_EQ(vs()->caret, 4);
    EXPECT_EQ(vs()->anchor, 4) << "a click leaves an empty selection";

    Pointer(WM_LBUTTONDOWN, At(2, 0), MK_LBUTTON);
    Pointer(WM_MOUSEMOVE, At(3, 1), MK_LBUTTON);
    Pointer(WM_LBUTTONUP, At(3, 1));
    EXPECT_EQ(vs()->anchor, 2);
    EXPECT_EQ(vs()->caret, 18);
    EXPECT_EQ(GetCapture(), nullptr);
    Pointer(WM_MOUSEMOVE, At(0, 0), MK_LBUTTON);  // no press in the view: no drag
    EXPECT_EQ(vs()->caret, 18);

    HoldKeys(kShift);
    Pointer(WM_LBUTTONDOWN, At(1, 2), MK_LBUTTON | MK_SHIFT);
    Pointer(WM_LBUTTONUP, At(1, 2));
    HoldKeys(kNone);
    EXPECT_EQ(vs()->anchor, 2) << "Shift+click extends from the old anchor";
    EXPECT_EQ(vs()->caret, 31);

    // Below the last line with all text in view: no scrolling, the caret at the end.
    Pointer(WM_LBUTTONDOWN, At(0, 0), MK_LBUTTON);
    Pointer(WM_MOUSEMOVE, MAKELPARAM(5, 30000), MK_LBUTTON);
    Pointer(WM_LBUTTONUP, MAKELPARAM(5, 30000));
    EXPECT_EQ(vs()->caret, vs()->length);
    EXPECT_EQ(vs()->topLine, 0);
    EXPECT_EQ(CheckInvariants(tv_.view), "");
}

TEST_F(Mouse, DragAboveTheViewScrollsSeveralLinesButNeverAboveTheTop) {
    std::string text;
    for (int i = 0; i < 80; i++) text += "line " + std::to_string(i) + "\r\n";
    Show(text, 0, 0);
    ASSERT_GT(vs()->topLine, 10);
    const int top = vs()->topLine, lh = vs()->lineHeight;
    Pointer(WM_LBUTTONDOWN, At(1, 2), MK_LBUTTON);
    // Three rows and a bit above: the truncating division makes that three.
    Pointer(WM_MOUSEMOVE, MAKELPARAM(5, -3 * lh - 1), MK_LBUTTON);
    EXPECT_EQ(vs()->topLine, top - 3);
    EXPECT_EQ(GetScrollPos(tv_.view, SB_VERT), top - 3);
    Pointer(WM_MOUSEMOVE, MAKELPARAM(5, -30000), MK_LBUTTON);
    EXPECT_EQ(vs()->topLine, 0);
    EXPECT_EQ(vs()->caret, 0);
    Pointer(WM_LBUTTONUP, MAKELPARAM(5, -30000));
    EXPECT_EQ(CheckInvariants(tv_.view), "");
}

TEST_F(Mouse, DoubleAndRightClicksSendTheTextFromTheWordToTheLineEnd) {
    g_hostProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(tv_.host, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RecordNotes)));
    struct Case {
        std::string text;
        int column;
        WPARAM keys;
        UINT msg;
        std::vector<std::pair<UINT, std::string>> notes;
    } cases[] = {
        {"alpha beta gamma\r\nnext", 8, MK_LBUTTON, WM_LBUTTONDBLCLK, {{CVN_DBLCLKTEXT, "beta gamma\r"}}},
        {"alpha beta gamma\r\nnext", 0, MK_LBUTTON, WM_LBUTTONDBLCLK, {{CVN_DBLCLKTEXT, "alpha beta gamma\r"}}},
        {"alpha beta gamma\r\nnext", 5, MK_LBUTTON, WM_LBUTTONDBLCLK, {{CVN_DBLCLKTEXT, "beta gamma\r"}}},
        {"", 3, MK_LBUTTON, WM_LBUTTONDBLCLK, {{CVN_DBLCLKTEXT, ""}}},
        {"alpha beta gamma", 8, MK_LBUTTON | MK_RBUTTON, WM_RBUTTONDOWN, {{CVN_RCLICKTEXT, "beta gamma"}}},
        {"alpha beta gamma", 8, MK_RBUTTON, WM_RBUTTONDOWN, {}},  // right alone: the context menu's
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text + " at " + std::to_string(c.column));
        Show(c.text, 2, 0);
        g_notes.clear();
        Pointer(c.msg, At(c.column, 0), c.keys);
        EXPECT_EQ(g_notes, c.notes);
        if (!c.notes.empty()) {
            EXPECT_EQ(vs()->anchor, vs()->caret) << "the selection collapses at the caret";
        }
    }
    SetWindowLongPtrA(tv_.host, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_hostProc));
}

}  // namespace
