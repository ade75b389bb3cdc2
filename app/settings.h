// The settings kept from one run to the next, and the text of the file that
// holds them. Pure code (no window headers): read and written as a whole,
// tested natively. The file is lines of code page 932 text:
//   [ornivel]                  a section line; ignored, as are blank lines
//   ; anything                 a comment (also '#')
//   key=value                  spaces around the key are dropped, the value
//                              is taken as it stands up to the line's end
// Keys: window (left,top,right,bottom of the restored window), maximized,
// mask, charset (auto, sjis, utf8, eucjp), filter, alert, alert_balloon,
// alert_sound, alert_flash, find, find_case, tray; switches are 0 or 1.
// The filter and the alert rule must read as filters (syslog/filter.h).
// Bad input never stops a read: a bad value leaves that setting at its
// default, an unknown key or a line without '=' is skipped, and each gives
// one status line that names the file, the line and what was wrong (after
// kMaxSettingsNotes of them, one line counts the rest). Of a key given
// twice, the last line counts.
#pragma once

#include <cstddef>

#include "syslog/charset.h"

enum {
    kSettingTextSize = 1024,  // a filter, an alert rule or a find text, NUL included
    kMaxSettingsNotes = 8,    // status lines of one read, the last one counting any more
    kSettingsNoteSize = 512,  // a status line, NUL included
    kMaxSettingsFile = 65536, // bytes of the file that are read
};

struct Settings {
    // The restored window's rectangle in workspace coordinates, as the
    // system's window placement gives it; none until a run has ended.
    bool hasWindow;
    int left, top, right, bottom;
    bool maximized;
    bool mask;  // 表示 ▸ マスクする
    CharsetMode charset;
    char filter[kSettingTextSize];
    // The alert rule ("" for none) and how an entry that matches calls for
    // attention.
    char alert[kSettingTextSize];
    bool alertBalloon, alertSound, alertFlash;
    char find[kSettingTextSize];  // the find box's text and its case choice
    bool findMatchCase;
    bool tray;  // 最小化時にタスクトレイに格納
};

// The status lines of one read, in Shift-JIS.
struct SettingsNotes {
    int count;
    char lines[kMaxSettingsNotes][kSettingsNoteSize];
};

// Every setting at its default: no window, no filter, no alert rule (whose
// calls, once one is set, are all on), automatic character set, the rest off.
void DefaultSettings(Settings* settings);

// Reads `length` bytes of file text into `settings`, which starts from the
// defaults; `path` names the file in the status lines written to `notes`.
void ReadSettings(const char* text, size_t length, const char* path, Settings* settings, SettingsNotes* notes);

// The file's text for `settings`, NUL-terminated in `out`; returns its
// length, or 0 when `size` is too small. A CR or LF inside a text (which
// no field can hold) is written as a space, so that each value stays on
// its line.
size_t FormatSettings(const Settings* settings, char* out, size_t size);

// The status line of a settings file that cannot be read ("設定ファイル PATH
// を読めません: REASON 既定の設定を使います。") or written ("... に書き込めません:
// REASON"), REASON being the system's; cut between whole characters.
void FormatSettingsFailure(const char* path, const char* reason, bool writing, char* out, size_t size);
