// Vertical scrolling of the colour text view: the rules of the view position
// (visible rows, the bottom, the bounds of topLine), the scroll bar, the
// requests of the scroll bar, wheel and EM_SCROLL, the repaint of the rows
// between two text positions, and the batching of screen updates while text
// streams in.
//
// Batching: an append changes the record at once, but the picture catches
// up at most every g_screenCatchUpMs while appends keep coming, and the
// scroll bar every 250 ms; a timer catches up with what is left once the
// batch is due and the message queue is idle (WM_TIMER, like WM_PAINT, waits
// for posted messages such as the socket's, so the append path itself
// catches up during a stream). An entry waits 100 ms at the most. Everything
// that moves the picture itself (scrolling, keys, mouse, resizing, painting)
// first brings the screen and the bar up to date with CatchUpScreen.
#pragma once

#include "colorview/view_state.h"

// Milliseconds between catch-ups during a stream of appends; 0 catches up
// after every append.
extern int g_screenCatchUpMs;

// Whole rows that fit the client area (a partly visible row does not count).
int VisibleRows(HWND hwnd, const ViewState* vs);
// True when the view shows the last page: nothing below is out of sight.
bool AtBottom(const ViewState* vs);
// Recomputes maxTopLine from lineCount and the client height.
void UpdateMaxTopLine(ViewState* vs, int clientHeight);
// Keeps topLine within 0 ... maxTopLine; true when it changed.
bool ClampTopLine(ViewState* vs);
// Makes the scroll bar show lineCount, the visible rows and topLine; the
// bar is written only where it differs (each write is a round trip to the
// display server under Wine).
void SyncScrollBar(HWND hwnd, ViewState* vs);

// The record changed from display line `line` on (an append).
void NoteLinesChanged(ViewState* vs, int line);
// `k` display lines were dropped from the front: the picture on screen now
// shows lines k lower in number.
void NoteLinesDropped(ViewState* vs, int k);
// Everything on screen is out of date.
void NoteAllChanged(ViewState* vs);
// At the end of an append: catches up now when the last catch-up is
// g_screenCatchUpMs old, else leaves it to the timer.
void ScreenChanged(HWND hwnd, ViewState* vs);
// WM_TIMER: the catch-up timer.
LRESULT OnTimer(HWND hwnd, WPARAM id);
// Brings the picture (moved and invalidated, not yet painted) and the scroll
// bar up to date with the record.
void CatchUpScreen(HWND hwnd, ViewState* vs);
// Invalidates the whole client area; the next paint draws it afresh.
void InvalidateAll(HWND hwnd, ViewState* vs);

// Moves the view to `top` (clamped), scrolling the picture already on screen
// and invalidating the uncovered rows; the caller updates the window.
void MoveView(HWND hwnd, ViewState* vs, int top);
// MoveView, then repaints the uncovered rows before it returns.
void ScrollTo(HWND hwnd, ViewState* vs, int top);
// Puts the view at `top` (clamped) and invalidates the whole client area;
// the caller updates the window.
void JumpTo(HWND hwnd, ViewState* vs, int top);

LRESULT OnVScroll(HWND hwnd, int code);
LRESULT OnMouseWheel(HWND hwnd, WPARAM wParam);
LRESULT OnEmScroll(HWND hwnd, WPARAM code);

// Invalidates (without erasing) the full-width rows holding the display
// lines from the line of offset `a` to the line of offset `b`, in either order.
void InvalidateTextRange(HWND hwnd, ViewState* vs, int a, int b);
