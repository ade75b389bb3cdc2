// The retention of a dated log file pattern: on the log writer's thread,
// each time a new file starts, the files the pattern named on days now
// expired are deleted. Only files whose whole path the pattern gives are
// ever looked at, folder by folder; folders stay.
#pragma once

#include "logfile/log_pattern.h"

// Writes one status line (the log writer's, which takes no lock of the
// caller's).
typedef void (*LogRetentionLine)(void* context, const char* text);

// Deletes every file whose path `pattern` gives at a date that is expired on
// `today` with `keepDays` days kept (LogDateExpired), except `keep` (the file
// being written). Each deletion is a status line naming the file, and so is
// each one that fails, with the system's reason; the walk goes on after it.
void DeleteExpiredLogFiles(const char* pattern, int keepDays, const LogDate& today, const char* keep,
                           LogRetentionLine statusLine, void* context);
