// Starting with Windows (ツール ▸ Windows の起動時に開始): the value "ornivel"
// under HKCU\Software\Microsoft\Windows\CurrentVersion\Run, the exe's quoted
// path with --minimized, --port when it is not the default, --log with the
// log file's full path (a program started at logon runs in a folder of the
// system's choosing, where the default "messages" would not be the file the
// user chose), and --keep-days when it was given.
#pragma once

#include <windows.h>

#include "app/options.h"

// Whether the value is there.
bool StartsWithWindows();
// Writes the value for this run's `options`, or removes it; false when the
// registry refused.
bool SetStartWithWindows(bool on, const Options* options);
