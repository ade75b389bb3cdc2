// Shared helpers of the view control tests: a real host window with a view
// child, direct access to the view's record, and a checker of every
// invariant of the record and its line table.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "colorview/view_state.h"

// Registers the view class once per process.
void EnsureViewClass();

// A view child (WS_VSCROLL unless told otherwise) filling a visible top-level
// host whose client area is exactly `width` by `height`. The host is shared
// by every view of the process and outlives them: DestroyTestView destroys
// the view only, and the host's size follows the next CreateTestView.
struct TestView {
    HWND host;
    HWND view;
};
TestView CreateTestView(int width, int height, DWORD extraStyle = WS_VSCROLL);
void DestroyTestView(TestView* tv);

ViewState* StateOf(HWND view);
std::string ViewText(HWND view);
LRESULT Append(HWND view, const std::string& piece);
RECT ClientRect(HWND view);

// The fixture of most view tests: a fresh view per test (width_ by
// height_, 400 by 200 unless a test's constructor says otherwise).
class ViewTest : public ::testing::Test {
protected:
    void SetUp() override { tv_ = CreateTestView(width_, height_); }
    void TearDown() override { DestroyTestView(&tv_); }
    ViewState* vs() { return StateOf(tv_.view); }
    LRESULT Send(UINT msg, WPARAM w = 0, LPARAM l = 0) { return SendMessageA(tv_.view, msg, w, l); }
    void SetText(const std::string& s) { Send(WM_SETTEXT, 0, reinterpret_cast<LPARAM>(s.c_str())); }
    int width_ = 400, height_ = 200;
    TestView tv_ = {};
};

// Resizes the host so that the view's window is `width` by `height`.
void ResizeView(const TestView& tv, int width, int height);

// Processes pending messages (paints included).
void PumpMessages();
// Processes messages until the view's screen has caught up with its record
// (its catch-up timer has fired), for at most a second.
void SettleScreen(HWND view);

// "" when every invariant holds, else a description of the first broken one.
// With `compareLayout` the line table must also equal a fresh full layout
// that takes every character with the line walker.
std::string CheckInvariants(HWND view, bool compareLayout = true);

// GDI leak tests that can fail, and fast: fills the process's GDI handle
// table with brushes until creation fails (about 65,000 under Wine, the
// 10,000 quota on Windows), then frees `leaveFree` of them. A loop of more
// iterations than `leaveFree` that leaks one object per pass then runs out of
// handles, exactly as a much longer loop would on an empty table.
struct GdiSqueeze {
    std::vector<HGDIOBJ> held;
};
void SqueezeGdiTable(GdiSqueeze* sq, int leaveFree);
void ReleaseGdiTable(GdiSqueeze* sq);

// Text of display line i, CR and LF included.
std::string DisplayLine(HWND view, int i);
