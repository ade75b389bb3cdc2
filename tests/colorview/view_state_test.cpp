// The view's record: creation and its failures, destruction, and the
// whole-text queries.
#include <gtest/gtest.h>

#include "tests/colorview/view_fixture.h"

#include <psapi.h>

namespace {

TEST(ViewStateTest, NewViewHasTheInitialRecord) {
    TestView tv = CreateTestView(400, 200);
    ViewState* vs = StateOf(tv.view);
    ASSERT_NE(vs, nullptr);
    EXPECT_EQ(vs->capacity, 4096);
    EXPECT_EQ(vs->lineCapacity, 256);
    EXPECT_EQ(vs->lineCount, 1);
    EXPECT_EQ(vs->tabWidth, 8);
    EXPECT_EQ(vs->lineSpacing, 2);
    EXPECT_EQ(vs->pointSize, 9);
    EXPECT_EQ(vs->charSet, SHIFTJIS_CHARSET);
    EXPECT_STREQ(vs->faceName, "");
    EXPECT_EQ(vs->textColor, GetSysColor(COLOR_WINDOWTEXT));
    EXPECT_EQ(vs->backColor, GetSysColor(COLOR_WINDOW));
    EXPECT_EQ(vs->caret, 0);
    EXPECT_EQ(vs->layoutWidth, ClientRect(tv.view).right);
    EXPECT_EQ(SendMessageA(tv.view, WM_GETTEXTLENGTH, 0, 0), 0);
    EXPECT_EQ(ViewText(tv.view), "");
    EXPECT_EQ(CheckInvariants(tv.view), "");
    DestroyTestView(&tv);
}

TEST(ViewStateTest, GetTextTruncatesAndNeverWritesForSizeZero) {
    TestView tv = CreateTestView(400, 200);
    Append(tv.view, "abcdef");
    char buffer[8];
    memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(SendMessageA(tv.view, WM_GETTEXT, 4, reinterpret_cast<LPARAM>(buffer)), 3);
    EXPECT_STREQ(buffer, "abc");
    EXPECT_EQ(buffer[4], '#');

    memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(SendMessageA(tv.view, WM_GETTEXT, 0, reinterpret_cast<LPARAM>(buffer + 1)), 0);
    EXPECT_EQ(SendMessageA(tv.view, WM_GETTEXT, 1, reinterpret_cast<LPARAM>(buffer + 1)), 0);
    EXPECT_EQ(buffer[0], '#');  // nothing before the buffer
    EXPECT_EQ(buffer[1], 0);
    EXPECT_EQ(buffer[2], '#');

    EXPECT_EQ(SendMessageA(tv.view, WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer)), 6);
    EXPECT_STREQ(buffer, "abcdef");
    DestroyTestView(&tv);
}

// A window that forwards to the view procedure after the record is gone:
// every handler must find no record and do nothing.
TEST(ViewStateTest, MessagesAfterDestructionFindNoRecord) {
    TestView tv = CreateTestView(400, 200);
    Append(tv.view, "text");
    HWND view = tv.view;
    SendMessageA(view, WM_DESTROY, 0, 0);  // releases the record; the window lives on
    EXPECT_EQ(StateOf(view), nullptr);
    char buffer[16] = "unchanged";
    EXPECT_EQ(SendMessageA(view, WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer)), 0);
    EXPECT_STREQ(buffer, "unchanged");
    EXPECT_EQ(SendMessageA(view, WM_GETTEXTLENGTH, 0, 0), 0);
    EXPECT_EQ(Append(view, "more"), 0);
    EXPECT_EQ(SendMessageA(view, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("x")), 0);
    EXPECT_EQ(SendMessageA(view, CVM_SETMAXLINES, 3, 0), 0);
    EXPECT_EQ(SendMessageA(view, CVM_RECALCFONT, 0, 0), 0);
    EXPECT_EQ(SendMessageA(view, CVM_SETFONTFACE, 12, reinterpret_cast<LPARAM>("x")), 0);
    EXPECT_EQ(SendMessageA(view, WM_SIZE, 0, 0), 0);
    InvalidateRect(view, nullptr, FALSE);
    UpdateWindow(view);
    DestroyTestView(&tv);
}

// Every allocation of WM_CREATE can fail; creation then fails cleanly.
TEST(ViewStateTest, CreationFailsCleanlyWhenAnyAllocationFails) {
    TestView host = CreateTestView(100, 100);
    for (int failAt = 1; failAt <= 6; failAt++) {
        g_viewAllocFailCountdown = failAt;
        HWND view = CreateWindowExA(0, COLORVIEW_CLASS, "", WS_CHILD, 0, 0, 50, 50, host.host, nullptr,
                                    GetModuleHandleA(nullptr), nullptr);
        EXPECT_EQ(view, nullptr) << "allocation " << failAt;
        EXPECT_EQ(g_viewAllocFailCountdown, 0) << "allocation " << failAt << " was never made";
    }
    g_viewAllocFailCountdown = 7;  // creation makes six allocations
    HWND view = CreateWindowExA(0, COLORVIEW_CLASS, "", WS_CHILD, 0, 0, 50, 50, host.host, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
    EXPECT_NE(view, nullptr);
    g_viewAllocFailCountdown = 0;
    DestroyTestView(&host);
}

static SIZE_T PrivateBytes() {
    PROCESS_MEMORY_COUNTERS pmc = {};
    pmc.cb = sizeof pmc;
    GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof pmc);
    return pmc.PagefileUsage;
}

// More creations than the GDI handle table has room for: a leaked DC,
// bitmap, brush or font would make creation fail long before the end.
TEST(ViewStateTest, ManyViewsLeakNeitherGdiObjectsNorMemory) {
    TestView host = CreateTestView(200, 100);
    const int kViews = 3000;
    SIZE_T before = 0;
    GdiSqueeze squeeze;
    SqueezeGdiTable(&squeeze, 500);
    for (int i = 0; i < kViews; i++) {
        if (i == 100) before = PrivateBytes();
        // Every tenth creation fails at its last allocation, the rest succeed.
        if (i % 10 == 0) g_viewAllocFailCountdown = 6;
        HWND view = CreateWindowExA(0, COLORVIEW_CLASS, "", WS_CHILD, 0, 0, 150, 80, host.host, nullptr,
                                    GetModuleHandleA(nullptr), nullptr);
        g_viewAllocFailCountdown = 0;
        if (i % 10 == 0) {
            ASSERT_EQ(view, nullptr);
            continue;
        }
        ASSERT_NE(view, nullptr) << "creation " << i;
        Append(view, "x\x02y\r\n");
        DestroyWindow(view);
    }
    SIZE_T after = PrivateBytes();
    HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
    EXPECT_NE(brush, nullptr);
    DeleteObject(brush);
    ReleaseGdiTable(&squeeze);
    // A view's buffers are over 14 KB: a leak per view would show as tens of MB.
    EXPECT_LT(after, before + 16u * 1024 * 1024) << "before " << before << " after " << after;
    DestroyTestView(&host);
}

}  // namespace
