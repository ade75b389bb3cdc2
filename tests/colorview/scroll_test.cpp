// Scrolling: every request of the scroll bar, the wheel and EM_SCROLL from
// the top, the middle and the bottom of a long text. After each, topLine, the
// scroll bar and the picture on screen must agree: the picture that was moved
// and partly repainted must equal a fresh paint of the same topLine, and only
// the rows the move uncovered may have been painted.
#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "colorview/scroll.h"
#include "tests/colorview/view_fixture.h"

namespace {

const int kLines = 40;
const int kVisible = 10;
const int kMaxTop = kLines - kVisible;
const int kWidth = 320;

// The union of the update rectangles of the paints since the last reset,
// recorded by a procedure put in front of the view's own.
WNDPROC g_viewProc;
RECT g_painted;
int g_paints;

LRESULT CALLBACK RecordingProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    RECT update;
    if (msg == WM_PAINT && GetUpdateRect(hwnd, &update, FALSE)) {
        UnionRect(&g_painted, &g_painted, &update);
        g_paints++;
    }
    return CallWindowProcA(g_viewProc, hwnd, msg, wParam, lParam);
}

void ResetPaintLog() {
    SetRectEmpty(&g_painted);
    g_paints = 0;
}

// The view's client area as it stands on screen, one 32-bit pixel each.
std::vector<DWORD> Capture(HWND view) {
    RECT rc = ClientRect(view);
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = rc.right;
    bi.bmiHeader.biHeight = -rc.bottom;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HDC screen = GetDC(view);
    HDC copy = CreateCompatibleDC(screen);
    HBITMAP dib = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(copy, dib);
    BitBlt(copy, 0, 0, rc.right, rc.bottom, screen, 0, 0, SRCCOPY);
    GdiFlush();
    std::vector<DWORD> pixels(static_cast<const DWORD*>(bits),
                              static_cast<const DWORD*>(bits) + rc.right * rc.bottom);
    SelectObject(copy, old);
    DeleteObject(dib);
    DeleteDC(copy);
    ReleaseDC(view, screen);
    return pixels;
}

// First row (from the top) where the picture differs from a full repaint of
// the same topLine, or -1.
int RowDifferingFromFreshPaint(HWND view) {
    std::vector<DWORD> shown = Capture(view);
    InvalidateRect(view, nullptr, FALSE);
    UpdateWindow(view);
    std::vector<DWORD> fresh = Capture(view);
    for (size_t i = 0; i < shown.size(); i++)
        if (shown[i] != fresh[i]) return static_cast<int>(i / kWidth);
    return -1;
}

bool ArrowsDisabled(HWND view) {
    SCROLLBARINFO sbi = {};
    sbi.cbSize = sizeof sbi;
    GetScrollBarInfo(view, OBJID_VSCROLL, &sbi);
    return (sbi.rgstate[1] & STATE_SYSTEM_UNAVAILABLE) && (sbi.rgstate[5] & STATE_SYSTEM_UNAVAILABLE);
}

class ScrollTest : public testing::Test {
   protected:
    // A view `kVisible` rows and half a row high, so a partly visible row
    // must not count, holding `lines` distinct lines.
    void Open(int lines) {
        tv_ = CreateTestView(kWidth, 100);
        view_ = tv_.view;
        vs_ = StateOf(view_);
        lh_ = vs_->lineHeight;
        // Topmost and in the far corner of the work area, away from where the
        // other tests open their windows, so that nothing covers the picture
        // being compared. The work area is read, not assumed: a virtual
        // desktop run earlier in the same Wine session can shrink the screen.
        RECT work;
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
        const int height = kVisible * lh_ + lh_ / 2;
        SetWindowPos(tv_.host, HWND_TOPMOST, work.right - kWidth - 16, work.bottom - height - 16, kWidth, height,
                     SWP_NOACTIVATE);
        PumpMessages();
        for (int i = 0; i < lines; i++) {
            char line[64];
            snprintf(line, sizeof line, "%sline %02d %.*s", i ? "\r\n" : "", i, i % 23,
                     "#########################");
            Append(view_, line);
        }
        SettleScreen(view_);  // appends leave the screen and the bar to the catch-up timer
        g_viewProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(view_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RecordingProc)));
    }
    void TearDown() override { DestroyTestView(&tv_); }

    // Puts the view at `top` by hand, scroll bar included, and paints it whole.
    void ShowFrom(int top) {
        vs_->topLine = top;
        SetScrollPos(view_, SB_VERT, top, TRUE);
        InvalidateRect(view_, nullptr, FALSE);
        UpdateWindow(view_);
        ResetPaintLog();
    }

    // After a request that moved the view from `from`: topLine, bar and
    // picture agree, and only the uncovered band was painted, all before
    // the request returned.
    void ExpectSettledAt(int from, int expected) {
        EXPECT_EQ(vs_->topLine, expected);
        EXPECT_EQ(GetScrollPos(view_, SB_VERT), expected);
        RECT client = ClientRect(view_);
        RECT band = client;
        int moved = (expected - from) * lh_;
        if (moved == 0) {
            EXPECT_EQ(g_paints, 0) << "nothing moved, nothing may repaint";
        } else {
            if (moved > 0 && moved < client.bottom) band.top = client.bottom - moved;
            if (moved < 0 && -moved < client.bottom) band.bottom = -moved;
            EXPECT_TRUE(EqualRect(&g_painted, &band))
                << "painted rows " << g_painted.top << ".." << g_painted.bottom << ", uncovered " << band.top
                << ".." << band.bottom;
        }
        EXPECT_EQ(RowDifferingFromFreshPaint(view_), -1);
        EXPECT_EQ(CheckInvariants(view_), "");
        ResetPaintLog();
    }

    TestView tv_ = {};
    HWND view_ = nullptr;
    ViewState* vs_ = nullptr;
    int lh_ = 0;
};

struct RequestRow {
    int code;
    int thumb;                            // where the bar's thumb stands when the request arrives
    int fromTop, fromMiddle, fromBottom;  // topLine after it from 0, 15 and kMaxTop
};

struct RequestCase {
    int from;
    int code;
    int thumb;
    int expected;
};

TEST_F(ScrollTest, EveryRequestCodeAtTopMiddleAndBottom) {
    Open(kLines);
    ASSERT_EQ(vs_->lineCount, kLines);
    ASSERT_EQ(vs_->maxTopLine, kMaxTop);
    ASSERT_FALSE(ArrowsDisabled(view_));
    const int kUnknown = 9;
    const RequestRow rows[] = {
        {SB_LINEUP, 5, 0, 14, 29},
        {SB_LINEDOWN, 5, 1, 16, kMaxTop},
        {SB_PAGEUP, 5, 0, 5, 20},
        {SB_PAGEDOWN, 5, 10, 25, kMaxTop},
        {SB_THUMBPOSITION, 7, 7, 7, 7},
        {SB_THUMBTRACK, 22, 22, 22, 22},
        {SB_TOP, 5, 0, 0, 0},
        {SB_BOTTOM, 5, kMaxTop, kMaxTop, kMaxTop},
        {SB_ENDSCROLL, 5, 0, 15, kMaxTop},
        {kUnknown, 5, 0, 15, kMaxTop},
    };
    std::vector<RequestCase> cases = {
        {4, SB_PAGEUP, 5, 0},         {25, SB_PAGEDOWN, 5, kMaxTop},        {29, SB_LINEDOWN, 5, kMaxTop},
        {15, SB_THUMBPOSITION, 0, 0}, {0, SB_THUMBTRACK, kMaxTop, kMaxTop},
    };
    for (const RequestRow& r : rows) {
        cases.push_back({0, r.code, r.thumb, r.fromTop});
        cases.push_back({15, r.code, r.thumb, r.fromMiddle});
        cases.push_back({kMaxTop, r.code, r.thumb, r.fromBottom});
    }
    for (const RequestCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "from " << c.from << " code " << c.code << " thumb " << c.thumb);
        ShowFrom(c.from);
        SetScrollPos(view_, SB_VERT, c.thumb, FALSE);
        EXPECT_EQ(SendMessageA(view_, WM_VSCROLL, MAKEWPARAM(c.code, 1234), 0), 0);
        ExpectSettledAt(c.from, c.expected);
        EXPECT_EQ(SendMessageA(view_, CVM_ISFOLLOWING, 0, 0), c.expected == kMaxTop ? 1 : 0);
    }
    // Held, the view at its end no longer follows it.
    SendMessageA(view_, CVM_SETSCROLLLOCK, 1, 0);
    EXPECT_EQ(SendMessageA(view_, CVM_ISFOLLOWING, 0, 0), 0);
}

// A tracking position beyond the text (a bar whose range is stale) is held
// to maxTopLine.
TEST_F(ScrollTest, ThumbBeyondTheTextStopsAtTheBottom) {
    Open(kLines);
    ShowFrom(3);
    SCROLLINFO si = {};
    si.cbSize = sizeof si;
    si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    si.nMax = 99;
    si.nPage = kVisible;
    si.nPos = 80;
    SetScrollInfo(view_, SB_VERT, &si, FALSE);
    SendMessageA(view_, WM_VSCROLL, SB_THUMBTRACK, 0);
    ExpectSettledAt(3, kMaxTop);
}

TEST_F(ScrollTest, AllTextVisibleNothingMoves) {
    Open(kVisible - 3);
    ASSERT_EQ(vs_->maxTopLine, 0);
    EXPECT_TRUE(ArrowsDisabled(view_));
    ShowFrom(0);
    std::vector<DWORD> before = Capture(view_);
    for (int code = SB_LINEUP; code <= SB_ENDSCROLL; code++) {
        SCOPED_TRACE(testing::Message() << "code " << code);
        SendMessageA(view_, WM_VSCROLL, code, 0);
        ExpectSettledAt(0, 0);
    }
    for (short delta : {120, -120}) {
        SendMessageA(view_, WM_MOUSEWHEEL, MAKEWPARAM(0, delta), 0);
        ExpectSettledAt(0, 0);
    }
    EXPECT_TRUE(Capture(view_) == before);
    EXPECT_TRUE(ArrowsDisabled(view_));
}

struct WheelCase {
    int from;
    short delta;
    int expected;
};

// Three lines per message, in one move, whatever the delta; away from the user is up.
TEST_F(ScrollTest, WheelScrollsThreeLinesPerMessage) {
    Open(kLines);
    const WheelCase cases[] = {
        {15, 120, 12}, {15, -120, 18}, {15, 240, 12}, {15, 0, 18}, {1, 120, 0}, {kMaxTop - 1, -240, kMaxTop},
    };
    for (const WheelCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "from " << c.from << " delta " << c.delta);
        ShowFrom(c.from);
        EXPECT_EQ(SendMessageA(view_, WM_MOUSEWHEEL, MAKEWPARAM(MK_SHIFT, c.delta), MAKELPARAM(700, 320)), 0);
        ExpectSettledAt(c.from, c.expected);
    }
}

TEST_F(ScrollTest, EmScrollPassesTheCodeOn) {
    Open(kLines);
    ShowFrom(0);
    EXPECT_EQ(SendMessageA(view_, EM_SCROLL, SB_BOTTOM, 0), 0);
    ExpectSettledAt(0, kMaxTop);
    EXPECT_EQ(SendMessageA(view_, EM_SCROLL, SB_PAGEUP, 0), 0);
    ExpectSettledAt(kMaxTop, kMaxTop - kVisible);
}

// Entries streaming in are put on screen in batches, not one paint per
// append; once the queue is idle the picture is exactly a fresh paint, from
// the bottom, scrolled back, held by the scroll lock, and while the line
// limit drops old lines. Small bursts move the picture already on screen,
// large ones repaint it.
TEST_F(ScrollTest, BurstsOfAppendsEndInTheFreshPicture) {
    struct Case {
        const char* what;
        int from;
        int lock;
        int maxLines;
    } cases[] = {
        {"at the bottom", kMaxTop, 0, 0},
        {"scrolled back", 12, 0, 0},
        {"held", kMaxTop, 1, 0},
        {"dropping old lines at the bottom", kMaxTop, 0, 45},
        {"dropping old lines scrolled back", 12, 0, 45},
    };
    const int savedCatchUp = g_screenCatchUpMs;
    int piece = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Open(kLines);
        ShowFrom(c.from);
        SendMessageA(view_, CVM_SETSCROLLLOCK, c.lock, 0);
        SendMessageA(view_, CVM_SETMAXLINES, c.maxLines, 0);
        for (int burst = 1; burst <= 24; burst++) {
            // Bursts of 1 to 24 pieces, half of them ending a line; the
            // screen catches up only when the timer fires.
            g_screenCatchUpMs = 1000000;
            for (int i = 0; i < burst; i++, piece++) {
                char text[48];
                snprintf(text, sizeof text, piece % 2 ? "\x03%d,0entry %d" : "\r\n\x02%d\x02 ", piece % 16, piece);
                Append(view_, text);
            }
            EXPECT_EQ(g_paints, 0) << "burst " << burst;
            SettleScreen(view_);
            ASSERT_EQ(RowDifferingFromFreshPaint(view_), -1) << "burst " << burst;
            ResetPaintLog();
        }
        EXPECT_EQ(vs_->topLine, c.from == kMaxTop && !c.lock ? vs_->maxTopLine : vs_->topLine);
        EXPECT_EQ(GetScrollPos(view_, SB_VERT), vs_->topLine);
        EXPECT_EQ(CheckInvariants(view_), "");

        // A long burst at the normal pace catches up now and then, not per append.
        g_screenCatchUpMs = savedCatchUp;
        for (int i = 0; i < 400; i++, piece++) Append(view_, piece % 2 ? "more " : "\r\n");
        EXPECT_LT(g_paints, 100);
        SettleScreen(view_);
        EXPECT_EQ(RowDifferingFromFreshPaint(view_), -1);
        DestroyTestView(&tv_);
    }
    g_screenCatchUpMs = savedCatchUp;
}

struct RangeCase {
    int lineA, lineB;  // display lines of the two positions
    int top;
    int firstRow, lastRow;  // rows expected invalid, possibly outside the client area
};

TEST_F(ScrollTest, InvalidateTextRangeMarksWholeRowsBetweenTwoPositions) {
    Open(kLines);
    const RangeCase cases[] = {
        {3, 3, 0, 3, 3}, {5, 2, 1, 1, 4}, {2, 5, 1, 1, 4}, {0, 12, 0, 0, 12}, {20, 22, 15, 5, 7},
    };
    RECT client = ClientRect(view_);
    for (const RangeCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "lines " << c.lineA << ", " << c.lineB << " top " << c.top);
        ShowFrom(c.top);
        // Positions inside their lines, not at their starts.
        int a = vs_->lineStart[c.lineA] + 3;
        int b = vs_->lineStart[c.lineB] + 2;
        InvalidateTextRange(view_, vs_, a, c.lineA == c.lineB ? a : b);
        RECT expected = {0, c.firstRow * lh_, client.right, (c.lastRow + 1) * lh_};
        IntersectRect(&expected, &expected, &client);
        RECT update;
        GetUpdateRect(view_, &update, FALSE);
        EXPECT_TRUE(EqualRect(&update, &expected))
            << "invalid " << update.top << ".." << update.bottom << ", expected " << expected.top << ".."
            << expected.bottom;
        ValidateRect(view_, nullptr);
    }
}

}  // namespace
