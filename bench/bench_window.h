// What the view benchmarks share: their windows, the message pump, and one
// entry's appends as the window thread hands them to the view.
#pragma once

#include <windows.h>

#include <string>

#include "syslog/charset.h"

// Dispatches every message waiting (paints included).
void Pump();

// A top-level window of a class of its own, `width` by `height` at 0, 0.
HWND MakeBenchWindow(HINSTANCE instance, const char* name, WNDPROC proc, DWORD style, int width, int height);

// The appends, back to back, of the entry of `datagram` built by the entry
// formatter in the middle of a block (the second of two from one sender),
// as a recorder window receives them; `*appends` gets their count.
std::string RecordedEntry(HINSTANCE instance, const char* datagram, CharsetMode charset, int* appends);
