// Starting with Windows (see autostart.h): the Run value and its command
// line, quoted as the C run-time splits it again.
#include "app/autostart.h"

#include <cstdio>
#include <cstring>

namespace {

const char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kValueName[] = "ornivel";

struct Command {
    char text[4 * MAX_PATH];
    size_t length;
    bool full;
};

void Add(Command* c, const char* bytes, size_t count) {
    if (c->length + count >= sizeof c->text) {
        c->full = true;
        return;
    }
    memcpy(c->text + c->length, bytes, count);
    c->length += count;
    c->text[c->length] = '\0';
}

// A path in double quotes, after a space unless it comes first. A Windows
// path holds no quote, and a file's path does not end in '\', so nothing
// in it can end the quotes early.
void AddQuoted(Command* c, const char* path) {
    if (c->length > 0) Add(c, " ", 1);
    Add(c, "\"", 1);
    Add(c, path, strlen(path));
    Add(c, "\"", 1);
}

bool MakeCommand(const Options* options, Command* c) {
    *c = Command{};
    char exe[MAX_PATH];
    char log[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, exe, sizeof exe);
    DWORD m = GetFullPathNameA(options->logPath, sizeof log, log, nullptr);
    if (n == 0 || n >= sizeof exe || m == 0 || m >= sizeof log) return false;
    AddQuoted(c, exe);
    Add(c, " --minimized", 12);
    if (options->port != kDefaultPort) {
        char port[24];
        int k = snprintf(port, sizeof port, " --port %d", options->port);
        Add(c, port, static_cast<size_t>(k));
    }
    Add(c, " --log", 6);
    AddQuoted(c, log);
    if (options->keepDays != kKeepEveryDay) {
        char days[32];
        int k = snprintf(days, sizeof days, " --keep-days %d", options->keepDays);
        Add(c, days, static_cast<size_t>(k));
    }
    return !c->full;
}

}  // namespace

bool StartsWithWindows() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kRunKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
    bool there = RegQueryValueExA(key, kValueName, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    RegCloseKey(key);
    return there;
}

bool SetStartWithWindows(bool on, const Options* options) {
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kRunKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return false;
    LONG result;
    Command command;
    if (!on) {
        result = RegDeleteValueA(key, kValueName);
        if (result == ERROR_FILE_NOT_FOUND) result = ERROR_SUCCESS;
    } else if (MakeCommand(options, &command)) {
        result = RegSetValueExA(key, kValueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.text),
                                static_cast<DWORD>(command.length + 1));
    } else {
        result = ERROR_FILENAME_EXCED_RANGE;
    }
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}
