// The log file's status lines: that it cannot be written, with the system's
// reason in the user's language, and that writing has resumed, with the
// lines that went out late and those that were lost; that an old file was
// deleted, or could not be; and the window title's mark while the file
// cannot be written. Shift-JIS texts.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <cstddef>

// " [ログ停止]": after the title while the log file is not written.
#define kTextLogStoppedTitle " [\x83\x8d\x83O\x92\xe2\x8e~]"

// The system's text for a Win32 error code as code page 932 bytes, without
// its trailing line break and spaces; "エラー N" when the system has none.
// Cut at a whole character when it does not fit in `size` bytes.
void DescribeSystemError(DWORD error, char* out, size_t size);

// "ログファイル PATH に書き込めません: REASON", REASON as DescribeSystemError
// gives it.
void FormatLogFailure(const char* path, const char* reason, char* out, size_t size);

// "ログファイルへの書き込みを再開しました (遅れた行 N、失われた行 M)".
void FormatLogResumed(unsigned long long delayed, unsigned long long lost, char* out, size_t size);

// "古いログファイル PATH を削除しました" (the retention deleted it).
void FormatLogDeleted(const char* path, char* out, size_t size);
// "古いログファイル PATH を削除できません: REASON".
void FormatLogDeleteFailed(const char* path, const char* reason, char* out, size_t size);
