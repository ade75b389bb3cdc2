// The main window's status bar (the common control) under the view: entries
// received and their rate, the view's lines, the log file's state,
// whether the view follows the end or how many entries it took since it
// left it, and the alerts since the window was last activated. The texts change only on the caller's tick (four a second), and
// only the fields whose text changed are written.
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
// One tick: takes a sample of the figures and rewrites the fields that
// changed. `view` gives its lines and whether it follows the end; `reason`
// (Shift-JIS) says why the log file is stopped; `alerts` counts the alerts
// (-1 while there is no rule, and the field is empty).
void UpdateStatusBar(HWND bar, HWND view, uint64_t received, bool logStopped, const char* reason,
                     int64_t alerts);
// True when `notify` (a WM_NOTIFY's) is a double click on the bar's field
// of new entries: the view is then brought back to its end.
bool IsFollowFieldDoubleClick(HWND bar, const NMHDR* notify);
