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
