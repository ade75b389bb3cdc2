// Shared helpers of the view control tests.
#include "tests/colorview/view_fixture.h"

#include <cstdio>
#include <algorithm>
#include <cstring>
#include <vector>

#include "colorview/append_layout.h"

static LRESULT CALLBACK HostProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_SIZE) {
        HWND view = GetWindow(hwnd, GW_CHILD);
        if (view) MoveWindow(view, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

void EnsureViewClass() {
    static bool done = false;
    if (done) return;
    done = true;
    HINSTANCE instance = GetModuleHandleA(nullptr);
    RegisterViewClass(instance);
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = HostProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.lpszClassName = "ViewTestHost";
    RegisterClassExA(&wc);
}

// One visible host serves every view of the process: destroying or hiding a
// visible top-level window costs about 2 s under Wine without a window
// manager, while a child view comes and goes in about a millisecond.
static HWND SharedHost() {
    static HWND host = nullptr;
    if (!host || !IsWindow(host))
        host = CreateWindowExA(0, "ViewTestHost", "view test", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100, nullptr,
                               nullptr, GetModuleHandleA(nullptr), nullptr);
    return host;
}

TestView CreateTestView(int width, int height, DWORD extraStyle) {
    EnsureViewClass();
    TestView tv = {};
    tv.host = SharedHost();
    SetWindowPos(tv.host, HWND_TOP, 0, 0, width, height, SWP_NOACTIVATE);
    tv.view = CreateWindowExA(0, COLORVIEW_CLASS, "", WS_CHILD | WS_VISIBLE | extraStyle, 0, 0, width, height,
                              tv.host, reinterpret_cast<HMENU>(2), GetModuleHandleA(nullptr), nullptr);
    PumpMessages();
    return tv;
}

void DestroyTestView(TestView* tv) {
    if (tv->view) DestroyWindow(tv->view);
    tv->host = tv->view = nullptr;
    PumpMessages();
}

ViewState* StateOf(HWND view) {
    ViewState* vs = nullptr;
    SendMessageA(view, CVM_GETSTATE, 0, reinterpret_cast<LPARAM>(&vs));
    return vs;
}

std::string ViewText(HWND view) {
    int n = static_cast<int>(SendMessageA(view, WM_GETTEXTLENGTH, 0, 0));
    std::string s(n + 1, '\0');
    int got = static_cast<int>(SendMessageA(view, WM_GETTEXT, n + 1, reinterpret_cast<LPARAM>(&s[0])));
    s.resize(got);
    return s;
}

LRESULT Append(HWND view, const std::string& piece) {
    return SendMessageA(view, CVM_APPENDTEXT, 0, reinterpret_cast<LPARAM>(piece.c_str()));
}

RECT ClientRect(HWND view) {
    RECT rc;
    GetClientRect(view, &rc);
    return rc;
}

void ResizeView(const TestView& tv, int width, int height) {
    SetWindowPos(tv.host, nullptr, 0, 0, width, height, SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
    PumpMessages();
}

void PumpMessages() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

void SettleScreen(HWND view) {
    for (int i = 0; i < 200; i++) {
        PumpMessages();
        ViewState* vs = StateOf(view);
        if (!vs || (!vs->screenPending && !vs->barPending && !vs->catchUpTimerSet)) return;
        Sleep(5);
    }
}

void SqueezeGdiTable(GdiSqueeze* sq, int leaveFree) {
    for (;;) {
        HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
        if (!brush) break;
        sq->held.push_back(brush);
    }
    for (int i = 0; i < leaveFree && !sq->held.empty(); i++) {
        DeleteObject(sq->held.back());
        sq->held.pop_back();
    }
}

void ReleaseGdiTable(GdiSqueeze* sq) {
    for (HGDIOBJ object : sq->held) DeleteObject(object);
    sq->held.clear();
}

std::string DisplayLine(HWND view, int i) {
    ViewState* vs = StateOf(view);
    int end = i + 1 < vs->lineCount ? vs->lineStart[i + 1] : vs->length;
    return std::string(vs->text + vs->lineStart[i], vs->text + end);
}

#define FAIL_IF(cond, ...)                                   \
    do {                                                     \
        if (cond) {                                          \
            char why[256];                                   \
            snprintf(why, sizeof why, __VA_ARGS__);          \
            return std::string(#cond) + ": " + why;          \
        }                                                    \
    } while (0)

std::string CheckInvariants(HWND view, bool compareLayout) {
    ViewState* vs = StateOf(view);
    FAIL_IF(!vs, "no record");
    FAIL_IF(!vs->text || !vs->attrFlags || !vs->attrColors || !vs->lineStart || !vs->lineLength,
            "missing buffer");
    const SIZE_T cap = static_cast<SIZE_T>(vs->capacity);
    FAIL_IF(LocalSize(vs->text) < cap || LocalSize(vs->attrFlags) < cap || LocalSize(vs->attrColors) < cap,
            "a byte buffer is smaller than capacity %d", vs->capacity);
    const SIZE_T lineBytes = vs->lineCapacity * sizeof(int);
    FAIL_IF(LocalSize(vs->lineStart) < lineBytes || LocalSize(vs->lineLength) < lineBytes,
            "a line table is smaller than lineCapacity %d", vs->lineCapacity);
    FAIL_IF(vs->length < 0 || vs->length > vs->capacity - 1, "length %d capacity %d", vs->length, vs->capacity);
    FAIL_IF(vs->text[vs->length] != 0, "no NUL at length %d", vs->length);
    FAIL_IF(static_cast<int>(strlen(vs->text)) != vs->length, "NUL inside the text");
    FAIL_IF(vs->textLimit > 0 && vs->length >= vs->textLimit, "length %d limit %d", vs->length, vs->textLimit);
    for (int i = vs->length + 1; i < vs->capacity; i++)
        FAIL_IF(vs->attrFlags[i] || vs->attrColors[i], "attribute beyond the end at %d", i);
    FAIL_IF(vs->caret < 0 || vs->caret > vs->length, "caret %d outside the text", vs->caret);
    FAIL_IF(vs->anchor < 0 || vs->anchor > vs->length, "anchor %d outside the text", vs->anchor);
    FAIL_IF(vs->lineHeight < 1 || vs->avgCharWidth < 1, "metrics %d %d", vs->lineHeight, vs->avgCharWidth);

    FAIL_IF(vs->lineCount < 1 || vs->lineCount >= vs->lineCapacity, "lineCount %d lineCapacity %d",
            vs->lineCount, vs->lineCapacity);
    FAIL_IF(vs->lineStart[0] != 0, "lineStart[0] %d", vs->lineStart[0]);
    // Character boundaries: a line never starts on the second byte of a pair.
    std::vector<char> boundary(vs->length + 1, 0);
    for (int p = 0; p < vs->length; p += CharBytes(vs, p)) boundary[p] = 1;
    boundary[vs->length] = 1;
    for (int i = 0; i < vs->lineCount; i++) {
        int start = vs->lineStart[i];
        int end = i + 1 < vs->lineCount ? vs->lineStart[i + 1] : vs->length;
        FAIL_IF(start > end || end > vs->length, "line %d runs %d..%d of %d", i, start, end, vs->length);
        FAIL_IF(!boundary[start], "line %d starts inside a double-byte pair at %d", i, start);
        int counted = 0;
        for (int p = start; p < end; p++) counted += vs->text[p] != '\r' && vs->text[p] != '\n';
        FAIL_IF(counted != vs->lineLength[i], "line %d length %d, counted %d", i, vs->lineLength[i], counted);
    }

    RECT rc = ClientRect(view);
    FAIL_IF(vs->layoutWidth != rc.right, "laid out for width %d, client width %d", vs->layoutWidth,
            static_cast<int>(rc.right));
    int visible = rc.bottom / vs->lineHeight;
    int expectedMax = visible < vs->lineCount ? vs->lineCount - visible : 0;
    FAIL_IF(vs->maxTopLine != expectedMax, "maxTopLine %d, expected %d", vs->maxTopLine, expectedMax);
    FAIL_IF(vs->topLine < 0 || vs->topLine > vs->maxTopLine, "topLine %d maxTopLine %d", vs->topLine,
            vs->maxTopLine);
    // Exact with or without a line limit: trimming to a number of lines relies on it.
    int lineFeeds = 0;
    for (int p = 0; p < vs->length; p++) lineFeeds += vs->text[p] == '\n';
    FAIL_IF(vs->logicalLineCount != lineFeeds + 1, "logicalLineCount %d, %d line feeds", vs->logicalLineCount,
            lineFeeds);
    FAIL_IF(vs->maxLines > 0 && lineFeeds > vs->maxLines, "%d line feeds, maxLines %d", lineFeeds, vs->maxLines);

    if (compareLayout) {
        // The reference takes every character with the walker: layout by
        // arithmetic must come to the same rows.
        std::vector<int> starts(vs->lineStart, vs->lineStart + vs->lineCount);
        std::vector<int> lengths(vs->lineLength, vs->lineLength + vs->lineCount);
        vs->lineCount = 1;
        g_layoutByArithmetic = false;
        bool laidOut = LayoutLines(view, vs, 0) != 0;
        g_layoutByArithmetic = true;
        FAIL_IF(!laidOut, "full layout failed");
        int common = std::min(vs->lineCount, static_cast<int>(starts.size()));
        for (int i = 0; i < common; i++)
            FAIL_IF(starts[i] != vs->lineStart[i] || lengths[i] != vs->lineLength[i],
                    "line %d is %d+%d, a full layout gives %d+%d", i, starts[i], lengths[i], vs->lineStart[i],
                    vs->lineLength[i]);
        FAIL_IF(vs->lineCount != static_cast<int>(starts.size()), "%d display lines, a full layout gives %d",
                static_cast<int>(starts.size()), vs->lineCount);
    }
    return "";
}
