// The remembered settings of this run, between their file and the window:
// read before the main window is made, handed to each part of it at start,
// changed as the user changes them, and written when they change and at
// exit. Options on the command line win for the run, and are not kept.
#pragma once

#include <windows.h>

#include "app/settings.h"

// Finds and reads the file (see settings_file.h).
void LoadRemembered();
// The settings, to read and to change before SaveRemembered.
Settings* RememberedSettings();
// The read's status lines, for the view and the log file.
const SettingsNotes* RememberedNotes();
// Shows `window` with `show`, first put back where it was when that lies
// on a monitor that exists (else where the system put it); `minimized`
// starts it minimized whatever `show` says.
void ShowRememberedWindow(HWND window, int show, bool minimized);
// Takes the window's placement and the find box's text into the settings
// and writes them. False when that failed; `failure` then holds a status
// line, only for the first failure after a save that worked ("" otherwise).
bool SaveRemembered(HWND window, char* failure, size_t size);
