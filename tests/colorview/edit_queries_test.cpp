// The edit-compatible queries and limits, and copying to the clipboard: one
// table of queries on known texts, the bounded line copy, the text limit,
// and what reaches the clipboard.
#include <gtest/gtest.h>

#include <string>

#include "tests/colorview/view_fixture.h"

namespace {

using EditQueries = ViewTest;

struct QueryCase {
    const char* text;
    UINT msg;
    WPARAM arg;
    LRESULT expected;
    const char* after = nullptr;  // the text the message leaves, where it changes it
};

TEST_F(EditQueries, LinesAndPositions) {
    const QueryCase cases[] = {
        {"", EM_GETLINECOUNT, 0, 1},
        {"", EM_LINEINDEX, 0, 0},
        {"", EM_LINELENGTH, 0, 0},
        {"", EM_GETFIRSTVISIBLELINE, 0, 0},
        {"abc\r\nde", EM_GETLINECOUNT, 0, 2},
        {"abc\r\nde", EM_LINEFROMCHAR, 4, 0},  // the LF belongs to line 0
        {"abc\r\nde", EM_LINEFROMCHAR, 5, 1},
        {"abc\r\nde", EM_LINEFROMCHAR, 99, 1},  // beyond the end: the last line
        {"abc\r\nde", EM_LINELENGTH, 0, 3},
        {"abc\r\nde", EM_LINELENGTH, 6, 2},
        {"abc\r\nde", EM_LINEINDEX, 1, 5},
        {"abc\r\nde", EM_LINEINDEX, 2, -1},
        {"abc\r\nde", EM_LINEINDEX, static_cast<WPARAM>(-1), 5},  // the caret's line: the caret is at the end
        {"abc\r\nde", EM_LINEFROMCHAR, static_cast<WPARAM>(-1), 1},
        {"abc\r\nde", EM_LINELENGTH, static_cast<WPARAM>(-1), 2},
        // Trimming: beyond N + N/10 logical lines the newest N stay.
        {"1\n2\n3\n4\n5\n6\n7\n8\n9\n10\n11\n12", CVM_TRIMLINES, 10, 2, "3\n4\n5\n6\n7\n8\n9\n10\n11\n12"},
        {"1\n2\n3\n4\n5\n6\n7\n8\n9\n10\n11", CVM_TRIMLINES, 10, 0, "1\n2\n3\n4\n5\n6\n7\n8\n9\n10\n11"},
        {"a\r\nb\r\n", CVM_TRIMLINES, 1, 2, ""},
        {"a\r\n\r\nb", CVM_TRIMLINES, 2, 2, "b"},  // the run of line breaks goes with the cut
        {"a\r\n\r\nb\nc", CVM_TRIMLINES, 1, 3, "c"},
        {"a\nb", CVM_TRIMLINES, 0, 0, "a\nb"},
        // Lines of text: an empty line after the last line feed does not count.
        {"", CVM_GETTEXTLINES, 0, 0},
        {"abc\r\nde", CVM_GETTEXTLINES, 0, 2},
        {"a\r\nb\r\n", CVM_GETTEXTLINES, 0, 2},
        {"\r\n\r\n", CVM_GETTEXTLINES, 0, 2},
        {"a\rb", CVM_GETTEXTLINES, 0, 1},
        {"abc\r\nde", CVM_ISFOLLOWING, 0, 1},
    };
    for (const QueryCase& c : cases) {
        SetText(c.text);
        EXPECT_EQ(Send(c.msg, c.arg), c.expected) << "message " << c.msg << " arg " << static_cast<int>(c.arg)
                                                  << " on \"" << c.text << "\"";
        if (c.after) {
            EXPECT_EQ(ViewText(tv_.view), c.after) << "message " << c.msg << " on \"" << c.text << "\"";
        }
        EXPECT_EQ(CheckInvariants(tv_.view), "");
    }
}

// The buffer's first WORD gives its size: no byte is written past it.
TEST_F(EditQueries, GetLineCopiesAtMostTheBufferSize) {
    SetText("abc\r\nde");
    struct {
        int line;
        WORD size;
        LRESULT copied;
        const char* buffer;  // 6 bytes after the call
    } cases[] = {
        {0, 6, 3, "abc\0##"}, {0, 3, 3, "abc###"}, {0, 2, 2, "ab####"}, {1, 6, 2, "de\0###"}, {2, 6, 0, nullptr},
    };
    for (const auto& c : cases) {
        char buffer[6];
        memset(buffer, '#', sizeof buffer);
        memcpy(buffer, &c.size, sizeof c.size);
        char before[6];
        memcpy(before, buffer, sizeof buffer);
        EXPECT_EQ(Send(EM_GETLINE, c.line, reinterpret_cast<LPARAM>(buffer)), c.copied) << "line " << c.line;
        if (c.buffer)
            EXPECT_EQ(std::string(buffer, 6), std::string(c.buffer, 6)) << "size " << c.size;
        else
            EXPECT_EQ(std::string(buffer, 6), std::string(before, 6)) << "a missing line leaves the buffer alone";
    }
}

TEST_F(EditQueries, LimitTextKeepsTheNewestWholeLines) {
    SetText("first line\r\nsecond line\r\nthird");
    std::string before = ViewText(tv_.view);
    EXPECT_EQ(Send(EM_LIMITTEXT, 0), 0);  // no limit: nothing changes
    EXPECT_EQ(ViewText(tv_.view), before);
    EXPECT_EQ(vs()->textLimit, 0);

    Send(EM_SETSEL, 1, 3);
    Send(EM_LIMITTEXT, 20);  // below the length: the newest whole lines under 20 bytes
    EXPECT_EQ(ViewText(tv_.view), "second line\r\nthird");
    EXPECT_EQ(vs()->capacity, 20);
    EXPECT_EQ(vs()->caret, vs()->length);
    EXPECT_EQ(vs()->anchor, vs()->length);
    EXPECT_EQ(vs()->topLine, vs()->maxTopLine);
    EXPECT_EQ(CheckInvariants(tv_.view), "");

    // Tab stops: a width of 0 keeps the old width; the default is 8.
    int width = 4;
    EXPECT_EQ(Send(EM_SETTABSTOPS, 1, reinterpret_cast<LPARAM>(&width)), 1);
    EXPECT_EQ(vs()->tabWidth, 4);
    width = 0;
    EXPECT_EQ(Send(EM_SETTABSTOPS, 1, reinterpret_cast<LPARAM>(&width)), 1);
    EXPECT_EQ(vs()->tabWidth, 4);
    EXPECT_EQ(Send(EM_SETTABSTOPS, 0, 0), 1);
    EXPECT_EQ(vs()->tabWidth, 8);
    EXPECT_EQ(CheckInvariants(tv_.view), "");
}

// ---- Clipboard ------------------------------------------------------------------

std::string ClipboardText() {
    std::string out = "(none)";
    if (!OpenClipboard(nullptr)) return "(closed)";
    HANDLE data = GetClipboardData(CF_TEXT);
    const char* text = data ? static_cast<const char*>(GlobalLock(data)) : nullptr;
    if (text) {
        out = text;
        GlobalUnlock(data);
    }
    CloseClipboard();
    return out;
}

void PutOnClipboard(const char* text) {
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, strlen(text) + 1);
    memcpy(GlobalLock(block), text, strlen(text) + 1);
    GlobalUnlock(block);
    SetClipboardData(CF_TEXT, block);
    CloseClipboard();
}

TEST_F(EditQueries, CopyPutsTheRealSelectedBytesOnTheClipboard) {
    // "ab", 日 (two bytes), "c" CR LF "d"
    SetText("ab\x93\xfa" "c\r\nd");
    struct {
        int caret, anchor;
        unsigned char mask;
        const char* expected;
    } cases[] = {
        {1, 5, 0, "b\x93\xfa" "c"},
        {5, 1, 0, "b\x93\xfa" "c"},  // right to left: the same bytes
        {3, 8, 0, "\xfa" "c\r\nd"},    // from between the pair's two bytes: exactly those bytes
        {0, 8, 1, "ab\x93\xfa" "c\r\nd"},  // masked: still the real text
    };
    for (const auto& c : cases) {
        g_maskMode = c.mask;
        vs()->caret = c.caret;
        vs()->anchor = c.anchor;
        Send(WM_COPY);
        EXPECT_EQ(ClipboardText(), c.expected) << c.caret << ".." << c.anchor;
    }
    g_maskMode = 0;
    // An empty selection leaves the clipboard as it was, also through Ctrl+C.
    PutOnClipboard("untouched");
    vs()->caret = vs()->anchor = 2;
    Send(WM_COPY);
    EXPECT_EQ(ClipboardText(), "untouched");
    EXPECT_EQ(CheckInvariants(tv_.view), "");
}

}  // namespace
