// The log file's status texts. The system's reason comes as UTF-16 and is
// converted to code page 932 here, so it is Shift-JIS whatever the process's
// ANSI code page is.
#include "logfile/log_status.h"

#include <cstdio>
#include <cstring>

#include "syslog/charset.h"

namespace {

// ログファイル PATH に書き込めません: REASON
const char kCannotWriteBefore[] =
    "\x83\x8d\x83O\x83t\x83@\x83"
    "C\x83\x8b ";
const char kCannotWriteAfter[] = " \x82\xc9\x8f\x91\x82\xab\x8d\x9e\x82\xdf\x82\xdc\x82\xb9\x82\xf1: ";
// ログファイルへの書き込みを再開しました (遅れた行 %llu、失われた行 %llu)
const char kResumed[] =
    "\x83\x8d\x83O\x83t\x83@\x83"
    "C\x83\x8b\x82\xd6\x82\xcc\x8f\x91\x82\xab\x8d\x9e\x82\xdd\x82\xf0\x8d\xc4\x8aJ"
    "\x82\xb5\x82\xdc\x82\xb5\x82\xbd (\x92x\x82\xea\x82\xbd\x8ds %llu\x81"
    "A\x8e\xb8\x82\xed\x82\xea\x82\xbd"
    "\x8ds %llu)";
// エラー N
const char kErrorNumber[] = "\x83G\x83\x89\x81[ %lu";
// 古いログファイル PATH を削除しました / を削除できません: REASON
const char kOldFile[] =
    "\x8c\xc3\x82\xa2\x83\x8d\x83O\x83t\x83@\x83"
    "C\x83\x8b ";
const char kDeleted[] = " \x82\xf0\x8d\xed\x8f\x9c\x82\xb5\x82\xdc\x82\xb5\x82\xbd";
const char kCannotDelete[] = " \x82\xf0\x8d\xed\x8f\x9c\x82\xc5\x82\xab\x82\xdc\x82\xb9\x82\xf1: ";

const UINT kShiftJis = 932;

// Appends `text` to the NUL-terminated `out`, as much as fits in `size`
// bytes, never splitting a double-byte character; false when it was cut, so
// that nothing follows a cut.
bool AppendWhole(char* out, size_t size, const char* text) {
    size_t used = strlen(out), length = strlen(text);
    size_t fit = WholeCharacterPrefix(text, length, size - 1 - used);
    memcpy(out + used, text, fit);
    out[used + fit] = '\0';
    return fit == length;
}

}  // namespace

void DescribeSystemError(DWORD error, char* out, size_t size) {
    if (size == 0) return;
    out[0] = '\0';
    wchar_t wide[1024];
    // Language 0: the thread's, then the user's, then the system's.
    DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                             wide, sizeof wide / sizeof wide[0], nullptr);
    while (n > 0 &&
           (wide[n - 1] == L'\r' || wide[n - 1] == L'\n' || wide[n - 1] == L' ' || wide[n - 1] == L'\t'))
        n--;
    char text[2048];
    int length = n > 0 ? WideCharToMultiByte(kShiftJis, 0, wide, static_cast<int>(n), text, sizeof text - 1,
                                             nullptr, nullptr)
                       : 0;
    if (length <= 0) length = snprintf(text, sizeof text, kErrorNumber, static_cast<unsigned long>(error));
    text[length] = '\0';
    AppendWhole(out, size, text);
}

void FormatLogFailure(const char* path, const char* reason, char* out, size_t size) {
    if (size == 0) return;
    out[0] = '\0';
    AppendWhole(out, size, kCannotWriteBefore) && AppendWhole(out, size, path) &&
        AppendWhole(out, size, kCannotWriteAfter) && AppendWhole(out, size, reason);
}

void FormatLogResumed(unsigned long long delayed, unsigned long long lost, char* out, size_t size) {
    if (size == 0) return;
    char text[256];
    snprintf(text, sizeof text, kResumed, delayed, lost);
    out[0] = '\0';
    AppendWhole(out, size, text);
}

void FormatLogDeleted(const char* path, char* out, size_t size) {
    if (size == 0) return;
    out[0] = '\0';
    AppendWhole(out, size, kOldFile) && AppendWhole(out, size, path) && AppendWhole(out, size, kDeleted);
}

void FormatLogDeleteFailed(const char* path, const char* reason, char* out, size_t size) {
    if (size == 0) return;
    out[0] = '\0';
    AppendWhole(out, size, kOldFile) && AppendWhole(out, size, path) &&
        AppendWhole(out, size, kCannotDelete) && AppendWhole(out, size, reason);
}
