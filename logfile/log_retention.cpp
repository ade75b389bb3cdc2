// The retention's walk: the pattern's path is taken one component at a
// time. A component without fields is a folder (or the file) of that very
// name; one with fields is matched against the names the folder holds, by
// the pattern unit's rules. A path found that way is then matched whole
// (a field given in two components must agree) before its date decides.
#include "logfile/log_retention.h"

#include <windows.h>

#include <cstring>

#include "logfile/log_status.h"

namespace {

enum {
    kRetentionPathSize = 1024,  // longer paths are not the program's to delete
    kRetentionTextSize = 2 * kRetentionPathSize,
};

struct Walk {
    const char* pattern;
    size_t patternLength;
    int keepDays;
    LogDate today;
    const char* keep;
    LogRetentionLine statusLine;
    void* context;
    char path[kRetentionPathSize];  // the path so far
};

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

// Where the component of `pattern` that starts at `at` ends: at its next
// separator, or at the end. A double-byte character's trail byte may be a
// backslash (0x5C) and separates nothing.
size_t ComponentEnd(const char* pattern, size_t at) {
    while (pattern[at] != '\0' && !IsSeparator(pattern[at]))
        at += IsDBCSLeadByte(static_cast<BYTE>(pattern[at])) && pattern[at + 1] != '\0' ? 2 : 1;
    return at;
}

// A file found: deleted when the whole pattern gives it at an expired date.
void Consider(Walk* w, size_t length) {
    LogDate named;
    if (!MatchLogPattern(w->pattern, w->patternLength, w->path, length, &named)) return;
    if (!LogDateExpired(named, w->today, w->keepDays) || strcmp(w->path, w->keep) == 0) return;
    char text[kRetentionTextSize];
    if (DeleteFileA(w->path)) {
        FormatLogDeleted(w->path, text, sizeof text);
    } else {
        char reason[512];
        DescribeSystemError(GetLastError(), reason, sizeof reason);
        FormatLogDeleteFailed(w->path, reason, text, sizeof text);
    }
    w->statusLine(w->context, text);
}

// Walks the pattern's component at `at` below the first `length` bytes of
// the path (which end in a separator, or are empty).
void WalkFrom(Walk* w, size_t at, size_t length) {
    size_t end = ComponentEnd(w->pattern, at);
    bool last = w->pattern[end] == '\0';
    size_t n = end - at + (last ? 0 : 1);  // with its separator
    if (memchr(w->pattern + at, '%', end - at) == nullptr) {
        if (length + n >= sizeof w->path) return;
        memcpy(w->path + length, w->pattern + at, n);
        w->path[length + n] = '\0';
        if (!last) {
            WalkFrom(w, end + 1, length + n);
            return;
        }
        DWORD attributes = GetFileAttributesA(w->path);
        if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
            Consider(w, length + n);
        return;
    }
    if (length + 2 > sizeof w->path) return;
    memcpy(w->path + length, "*", 2);
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA(w->path, &found);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        // Files at the end of the path, folders on the way.
        bool folder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        size_t name = strlen(found.cFileName);
        if (folder == last || length + name + 2 > sizeof w->path ||
            !MatchLogPattern(w->pattern + at, end - at, found.cFileName, name, nullptr))
            continue;
        memcpy(w->path + length, found.cFileName, name + 1);
        if (last) {
            Consider(w, length + name);
        } else {
            w->path[length + name] = w->pattern[end];
            w->path[length + name + 1] = '\0';
            WalkFrom(w, end + 1, length + name + 1);
        }
    } while (FindNextFileA(find, &found));
    FindClose(find);
}

}  // namespace

void DeleteExpiredLogFiles(const char* pattern, int keepDays, const LogDate& today, const char* keep,
                           LogRetentionLine statusLine, void* context) {
    if (keepDays < 0 || CheckLogPattern(pattern, nullptr) != kPatternDated) return;
    Walk w;
    w.pattern = pattern;
    w.patternLength = strlen(pattern);
    w.keepDays = keepDays;
    w.today = today;
    w.keep = keep;
    w.statusLine = statusLine;
    w.context = context;
    w.path[0] = '\0';
    WalkFrom(&w, 0, 0);
}
