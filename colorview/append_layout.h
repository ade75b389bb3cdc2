// How text gets into the colour text view and how it is cut into display
// lines: appending pieces with in-band codes under the line-count and size
// limits, and wrapping by pixel width.
#pragma once

#include "colorview/view_state.h"

// Appends `text` (NUL-terminated, may hold in-band codes); 1, or 0 when
// memory ran out.
int AppendText(HWND hwnd, ViewState* vs, const char* text);

// Re-wraps from offset `start`, the start of display line lineCount - 1, and
// recomputes maxTopLine; 1, or 0 when the line tables cannot grow.
int LayoutLines(HWND hwnd, ViewState* vs, int start);

int GrowLineTables(ViewState* vs);
void DropLeadingLines(ViewState* vs, int k);

// EM_LIMITTEXT's re-cut: the buffers become `limit` bytes and keep the newest
// whole logical lines that fit; false, with nothing changed, out of memory.
bool LimitText(HWND hwnd, ViewState* vs, int limit);
// Lays out the whole text again in the present line tables.
void LayOutAll(HWND hwnd, ViewState* vs);

LRESULT OnAppendText(HWND hwnd, const char* text);
LRESULT OnSetText(HWND hwnd, const char* text);
LRESULT OnSetMaxLines(HWND hwnd, int maxLines);
LRESULT OnTrimLines(HWND hwnd, int keep);
LRESULT OnCutFront(HWND hwnd, int offset);
LRESULT OnSize(HWND hwnd);

// LayoutLines places plain stretches by arithmetic (true, the default) or,
// for tests to compare with, takes every character with the line walker.
extern bool g_layoutByArithmetic;

// Bytes walked by LayoutLines since the process started: a figure for tests
// and benchmarks (an append re-measures only the last display line and the
// new text, never the whole text).
extern long long g_layoutBytesWalked;
