// One instance per port (see single_instance.h).
#include "app/single_instance.h"

#include <cstdio>
#include <cstring>

#include "syslog/charset.h"

namespace {

// How long a later start looks for the first one's window: the first may
// still be starting, its window not made yet.
const DWORD kLookMilliseconds = 10000;
const DWORD kLookStepMilliseconds = 100;
const UINT kAnswerMilliseconds = 3000;

// Held until the process ends, when the system lets go of it.
HANDLE g_portMutex;

struct Search {
    int port;
    const char* className;
    HWND found;
};

BOOL CALLBACK FindInstance(HWND hwnd, LPARAM param) {
    Search* search = reinterpret_cast<Search*>(param);
    char name[256];
    if (!GetClassNameA(hwnd, name, sizeof name) || strcmp(name, search->className) != 0) return TRUE;
    DWORD_PTR port = 0;
    if (SendMessageTimeoutA(hwnd, WM_PORTQUERY, 0, 0, SMTO_ABORTIFHUNG, kAnswerMilliseconds, &port) &&
        static_cast<int>(port) == search->port) {
        search->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

bool Send(HWND target, HandOverKind kind, const char* text) {
    COPYDATASTRUCT data = {static_cast<ULONG_PTR>(kind), 0, nullptr};
    if (text) {
        data.cbData = static_cast<DWORD>(strlen(text) + 1);
        data.lpData = const_cast<char*>(text);
    }
    DWORD_PTR taken = 0;
    return SendMessageTimeoutA(target, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_ABORTIFHUNG,
                               kAnswerMilliseconds, &taken) &&
           taken != 0;
}

}  // namespace

bool ClaimPort(int port) {
    char name[64];
    snprintf(name, sizeof name, "Local\\ornivel-port-%d", port);
    g_portMutex = CreateMutexA(nullptr, FALSE, name);
    // Without the mutex nothing tells the instances apart: start as before.
    return !g_portMutex || GetLastError() != ERROR_ALREADY_EXISTS;
}

bool HandOverToFirst(int port, const char* className, const Options* options) {
    Search search = {port, className, nullptr};
    for (DWORD waited = 0; !search.found && waited < kLookMilliseconds; waited += kLookStepMilliseconds) {
        EnumWindows(FindInstance, reinterpret_cast<LPARAM>(&search));
        if (!search.found) Sleep(kLookStepMilliseconds);
    }
    if (!search.found) return false;
    // The user started this one: it may hand the foreground on.
    DWORD first = 0;
    GetWindowThreadProcessId(search.found, &first);
    AllowSetForegroundWindow(first);
    if (options->filter) Send(search.found, kHandOverFilter, options->filter);
    if (options->alert) Send(search.found, kHandOverAlert, options->alert);
    return Send(search.found, kHandOverShow, nullptr);
}

bool ReadHandOver(const COPYDATASTRUCT* data, HandOverKind* kind, char* text, size_t size) {
    if (size == 0) return false;
    ULONG_PTR k = data->dwData;
    if (k != kHandOverFilter && k != kHandOverAlert && k != kHandOverShow) return false;
    *kind = static_cast<HandOverKind>(k);
    size_t length = data->lpData ? strnlen(static_cast<const char*>(data->lpData), data->cbData) : 0;
    if (length >= size) length = WholeCharacterPrefix(static_cast<const char*>(data->lpData), length, size - 1);
    if (length > 0) memcpy(text, data->lpData, length);
    text[length] = '\0';
    return true;
}
