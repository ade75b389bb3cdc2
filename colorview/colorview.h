// Public interface of the colour text view control, window class "mireva-san":
// its class registration, its own messages and the notifications it sends to
// its parent. It also answers the system's edit-control queries and
// selection messages (EM_*) and WM_COPY, as a read-only multi-line edit does.
// Hosts include this header; the view's own units include it too.
#pragma once

#include <windows.h>

#define COLORVIEW_CLASS "mireva-san"

// The view's own messages (sent to the view).
enum : UINT {
    CVM_APPENDTEXT = 0x812C,      // lParam: text with in-band codes; 1, or 0 on failure
    CVM_GETSTATE = 0x812D,        // lParam: ViewState** to fill in
    CVM_SETCOLORS = 0x812E,       // wParam: text colour, lParam: background; -1 = system
    CVM_SETFONTFACE = 0x812F,     // wParam: point size, lParam: face name or NULL
    CVM_SETLINESPACING = 0x8130,  // wParam: extra pixels per line
    CVM_SETMAXLINES = 0x8131,     // wParam: most logical lines kept, 0 or less for none
    CVM_RECALCFONT = 0x8132,      // re-measures the font and re-lays out the text
    CVM_SETHOTCURSOR = 0x8133,    // lParam: cursor over hot text (not owned by the view)
    CVM_SETSCROLLLOCK = 0x8134,   // wParam: non-zero holds the view while text arrives
    CVM_TRIMLINES = 0x8135,       // wParam: N > 0; beyond N + N/10 logical lines, keeps the
                                  // newest N; returns the logical lines removed
    CVM_FIND = 0x8136,            // wParam: CVFIND_* options, lParam: the text to find;
                                  // returns CVFIND_FOUND | CVFIND_WRAPPED, or 0
    CVM_GETTEXTLINES = 0x8137,    // returns the lines of text: one per line feed, and one
                                  // more for text after the last line feed
    CVM_ISFOLLOWING = 0x8138,     // returns 1 while the view shows its last line and appended
                                  // text keeps it there (not held by CVM_SETSCROLLLOCK)
    CVM_CUTFRONT = 0x8139,        // wParam: an offset; removes the text before the start of
                                  // its logical line, as a trim does; returns the bytes removed
    CVM_POSFROMPOINT = 0x813A,    // lParam: POINT* in client coordinates; returns the offset
                                  // a click there would put the caret at
};

// CVM_FIND selects the next match of a NUL-terminated text in the system's
// code page, as Shift and the arrow keys would select it, and brings it
// into view. Forward: the first match that starts at or after the end of
// the selection, selected with the caret at its end. Backward: the last
// match that starts before the start of the selection, the caret at its
// start. Reaching the end (or the start) it wraps around once. A match
// never starts inside a double-byte character; without CVFIND_MATCHCASE
// ASCII letters match either case. Mask mode plays no part: the real text
// is searched. An empty text finds nothing.
enum : WPARAM {
    CVFIND_BACKWARD = 0x1,
    CVFIND_MATCHCASE = 0x2,
};
enum : LRESULT {
    CVFIND_FOUND = 0x1,
    CVFIND_WRAPPED = 0x2,  // found only after wrapping around
};

// Notifications (sent to the parent); lParam is the text from the clicked
// word to the end of its line, valid only during the call.
enum : UINT {
    CVN_DBLCLKTEXT = 0x8191,
    CVN_RCLICKTEXT = 0x8192,
};

// Mask mode for screen captures: while non-zero, every view of the process
// draws each byte that is not a space or a delimiter as "X". The host flips
// it and repaints; the view reads it at every text output.
extern unsigned char g_maskMode;

// Registers the class once per process; returns the atom, 0 on failure.
ATOM RegisterViewClass(HINSTANCE instance);
