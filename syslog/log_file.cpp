// The log file. A failed or short write loses the line from the file only;
// the view still shows it.
#include "syslog/log_file.h"

bool OpenLogFile(LogFile* log, const char* path) {
    log->handle = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (log->handle == INVALID_HANDLE_VALUE) return false;
    SetFilePointer(log->handle, 0, nullptr, FILE_END);
    return true;
}

void WriteLogLine(LogFile* log, const char* bytes, size_t length) {
    if (log->handle == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(log->handle, bytes, static_cast<DWORD>(length), &written, nullptr);
}

void CloseLogFile(LogFile* log) {
    if (log->handle != INVALID_HANDLE_VALUE) CloseHandle(log->handle);
    log->handle = INVALID_HANDLE_VALUE;
}
