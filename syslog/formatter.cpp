// Entry formatter and log file. The entry's log line reaches the file with
// one WriteFile before its text reaches the view, so the file holds each
// entry whole and in the order the view shows them.
#include "syslog/formatter.h"

#include "colorview/colorview.h"

static_assert(sizeof(sockaddr_in) == sizeof g_lastSender, "sender image is a whole sockaddr_in");

namespace {

HANDLE g_logFile = INVALID_HANDLE_VALUE;  // "messages", or none

LRESULT SendEntryText(HWND view, const EntryText* entry) {
    if (g_logFile != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        // A failed or short write loses the line from the file only.
        WriteFile(g_logFile, entry->log, static_cast<DWORD>(entry->logLength), &written, nullptr);
    }
    // An entry always fits (the buffers are sized for the longest); a status
    // text too long to fit says so in the result.
    LRESULT result = entry->overflow ? 0 : 1;
    for (const char* append = FirstAppend(entry); append != nullptr; append = NextAppend(entry, append)) {
        if (SendMessageA(view, CVM_APPENDTEXT, 0, reinterpret_cast<LPARAM>(append)) == 0) result = 0;
    }
    return result;
}

}  // namespace

time_t CurrentTime() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER ticks;  // 100-nanosecond intervals since 1601
    ticks.LowPart = now.dwLowDateTime;
    ticks.HighPart = now.dwHighDateTime;
    const ULONGLONG kTicksTo1970 = 116444736000000000ULL, kTicksPerSecond = 10000000ULL;
    return static_cast<time_t>((ticks.QuadPart - kTicksTo1970) / kTicksPerSecond);
}

bool OpenLog() {
    g_logFile = CreateFileA("messages", GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
    if (g_logFile == INVALID_HANDLE_VALUE) return false;
    SetFilePointer(g_logFile, 0, nullptr, FILE_END);
    return true;
}

void CloseLog() {
    if (g_logFile != INVALID_HANDLE_VALUE) CloseHandle(g_logFile);
    g_logFile = INVALID_HANDLE_VALUE;
}

LRESULT FormatEntry(HWND view, const time_t* receiveTime, const sockaddr_in* sender, const char* text) {
    EntryText entry;  // about 10 KB on the GUI thread's stack
    BuildEntry(&entry, reinterpret_cast<const unsigned char*>(sender), *receiveTime, text);
    return SendEntryText(view, &entry);
}

LRESULT WriteStatusLine(HWND view, const char* text) {
    EntryText entry;
    BuildStatusLine(&entry, CurrentTime(), text);
    return SendEntryText(view, &entry);
}
