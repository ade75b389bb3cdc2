// Where the settings live, and reading and writing them: ornivel.ini beside
// the exe when that file exists (portable use), otherwise
// %APPDATA%\ornivel\ornivel.ini. A save writes a temporary file beside it
// and moves it over the old one (MoveFileEx with MOVEFILE_REPLACE_EXISTING
// and MOVEFILE_WRITE_THROUGH), so that a crash leaves the old file or the
// new one, never half of one.
#pragma once

#include <windows.h>

#include "app/settings.h"

// The file's path; false (with "" in `path`) when there is none to use.
bool LocateSettingsFile(char* path, size_t size);
// Reads the file into `settings`: the defaults when it does not exist yet,
// and when it cannot be read, with one status line in `notes` that says so.
void LoadSettingsFile(const char* path, Settings* settings, SettingsNotes* notes);
// Writes `settings`, unless the file already holds exactly their text from
// this run's last save. False when it cannot, with the status line in `failure`.
bool SaveSettingsFile(const char* path, const Settings* settings, char* failure, size_t size);
