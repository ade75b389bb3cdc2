// The settings file on disk (see settings_file.h). Paths are in the
// system's ANSI code page, whose double-byte characters may end in '\'.
#include "app/settings_file.h"

#include <shlobj.h>

#include <cstdlib>
#include <cstring>

#include "logfile/log_status.h"

namespace {

const char kFileName[] = "ornivel.ini";
const char kFolderName[] = "ornivel";

// The text of this run's last save, so that a save of the same settings
// does not write again.
char g_saved[4 * kSettingTextSize + 1024];

// The byte after the last path separator (a '\' that is no trail byte).
char* AfterLastSeparator(char* path) {
    char* after = path;
    for (char* p = path; *p; p++) {
        if (IsDBCSLeadByte(static_cast<BYTE>(*p)) && p[1] != '\0')
            p++;
        else if (*p == '\\' || *p == '/')
            after = p + 1;
    }
    return after;
}

bool Join(char* out, size_t size, const char* folder, const char* name) {
    size_t a = strlen(folder), b = strlen(name);
    if (a + 1 + b >= size) return false;
    memmove(out, folder, a);
    out[a] = '\\';
    memcpy(out + a + 1, name, b + 1);
    return true;
}

bool IsFile(const char* path) {
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void NoteFailure(const char* path, DWORD error, bool writing, char* out, size_t size) {
    char reason[256];
    DescribeSystemError(error, reason, sizeof reason);
    FormatSettingsFailure(path, reason, writing, out, size);
}

// Writes `length` bytes to a new temporary file in the folder of `path` and
// moves it over `path`; on failure the system's error code.
DWORD WriteWhole(const char* path, const char* text, DWORD length) {
    char folder[MAX_PATH];
    if (strlen(path) >= sizeof folder) return ERROR_FILENAME_EXCED_RANGE;
    strcpy(folder, path);
    *AfterLastSeparator(folder) = '\0';
    char temporary[MAX_PATH];
    if (!GetTempFileNameA(folder[0] ? folder : ".", "orn", 0, temporary)) return GetLastError();
    HANDLE file = CreateFileA(temporary, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD error = file == INVALID_HANDLE_VALUE ? GetLastError() : 0;
    DWORD written = 0;
    if (!error && !WriteFile(file, text, length, &written, nullptr)) error = GetLastError();
    // A short write that the system called a success still is not the file.
    if (!error && written != length) error = ERROR_WRITE_FAULT;
    if (!error && !FlushFileBuffers(file)) error = GetLastError();
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    if (!error && !MoveFileExA(temporary, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        error = GetLastError();
    if (error) DeleteFileA(temporary);
    return error;
}

}  // namespace

bool LocateSettingsFile(char* path, size_t size) {
    path[0] = '\0';
    char beside[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, beside, sizeof beside);
    if (n > 0 && n < sizeof beside) {
        *AfterLastSeparator(beside) = '\0';
        size_t folder = strlen(beside);
        if (folder + sizeof kFileName <= sizeof beside) {
            memcpy(beside + folder, kFileName, sizeof kFileName);
            if (IsFile(beside) && strlen(beside) < size) {
                strcpy(path, beside);
                return true;
            }
        }
    }
    char appData[MAX_PATH];
    char folder[MAX_PATH];
    if (SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, appData) != S_OK ||
        !Join(folder, sizeof folder, appData, kFolderName) || !Join(path, size, folder, kFileName)) {
        path[0] = '\0';
        return false;
    }
    return true;
}

void LoadSettingsFile(const char* path, Settings* settings, SettingsNotes* notes) {
    DefaultSettings(settings);
    notes->count = 0;
    if (path[0] == '\0') return;
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        // Not there yet: the first run, or the folder not made yet.
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return;
        NoteFailure(path, error, false, notes->lines[0], sizeof notes->lines[0]);
        notes->count = 1;
        return;
    }
    char* text = static_cast<char*>(malloc(kMaxSettingsFile));
    DWORD length = 0;
    DWORD error = text ? 0 : ERROR_NOT_ENOUGH_MEMORY;
    // The reader takes no more than kMaxSettingsFile bytes in any case.
    while (!error && length < kMaxSettingsFile) {
        DWORD got = 0;
        if (!ReadFile(file, text + length, kMaxSettingsFile - length, &got, nullptr)) error = GetLastError();
        if (got == 0) break;
        length += got;
    }
    CloseHandle(file);
    if (error) {
        NoteFailure(path, error, false, notes->lines[0], sizeof notes->lines[0]);
        notes->count = 1;
    } else {
        ReadSettings(text, length, path, settings, notes);
    }
    free(text);
}

bool SaveSettingsFile(const char* path, const Settings* settings, char* failure, size_t size) {
    if (size > 0) failure[0] = '\0';
    if (path[0] == '\0') return true;  // nowhere to keep them: nothing to report either
    char text[sizeof g_saved];
    size_t length = FormatSettings(settings, text, sizeof text);
    if (length > 0 && strcmp(text, g_saved) == 0) return true;
    DWORD error = length == 0 ? ERROR_INSUFFICIENT_BUFFER : 0;
    if (!error) {
        // The folder under %APPDATA% on the first save; beside the exe it exists.
        char folder[MAX_PATH];
        if (strlen(path) < sizeof folder) {
            strcpy(folder, path);
            char* end = AfterLastSeparator(folder);
            if (end > folder) end[-1] = '\0';
            CreateDirectoryA(folder, nullptr);  // already there is no failure
        }
        error = WriteWhole(path, text, static_cast<DWORD>(length));
    }
    if (error) {
        NoteFailure(path, error, true, failure, size);
        return false;
    }
    strcpy(g_saved, text);
    return true;
}
