// The log file: every entry's line, appended to a plain file that other
// programs may read while it is written. One writer at a time: the entry
// sink calls it under its lock, so lines never interleave.
#pragma once

#include <windows.h>

#include <cstddef>

struct LogFile {
    HANDLE handle;  // INVALID_HANDLE_VALUE when the file could not be opened
};

// Opens `path` for appending, readable by others; false when it cannot be
// opened, and the program then runs without a log file.
bool OpenLogFile(LogFile* log, const char* path);
// Appends one entry's line (or lines) with one write.
void WriteLogLine(LogFile* log, const char* bytes, size_t length);
// Closes the file; nothing is written to it afterwards.
void CloseLogFile(LogFile* log);
