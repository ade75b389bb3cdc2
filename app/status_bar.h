// The main window's status bar (the common control) under the view: entries
// received and their rate, the view's lines, the log file's state, whether
// the view follows the end or how many entries it took since it left it,
// and, while there is something to say, the filter's counts or its error
// and the alerts since the window was last activated, in fields of their
// own at the right end. The texts change only on the caller's tick (four a
// second), and only the fields whose text changed are written.
#pragma once

#include <windows.h>

#include <cstdint>

// Makes the bar as child `id` of `parent`, with its record; null on failure.
HWND CreateStatusBar(HWND parent, int id, HINSTANCE instance);
// Frees the bar's record; the window goes with its parent.
void DestroyStatusBar(HWND bar);
// Lays the bar along the bottom of a client area `clientWidth` wide and
// returns its height, which the view leaves free.
int PlaceStatusBar(HWND bar, int clientWidth);
// Before the main window appends entries to `view`: whether it follows its
// end. After: `count` entries were appended (see NoteEntriesAppended).
bool ViewFollows(HWND view);
void NoteEntriesShown(HWND bar, uint64_t count, bool following);
// What the filter field says: whether a filter is in force, the kept
// entries it shows and all kept, and why the last filter tried was refused
// (Shift-JIS; null or "" when it was not).
struct FilterCounts {
    bool filtering;
    uint64_t shown;
    uint64_t kept;
    const char* error;
};
// One tick: takes a sample of the figures and rewrites the fields that
// changed. `view` gives its lines and whether it follows the end; `reason`
// (Shift-JIS) says why the log file is stopped; `alerts` counts the alerts
// (-1 while there is no alert rule, and there is no field for them).
void UpdateStatusBar(HWND bar, HWND view, uint64_t received, bool logStopped, const char* reason,
                     const FilterCounts* filter, int64_t alerts);
// True when `notify` (a WM_NOTIFY's) is a double click on the bar's field
// of new entries: the view is then brought back to its end.
bool IsFollowFieldDoubleClick(HWND bar, const NMHDR* notify);
