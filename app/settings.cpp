// Reading and writing the settings file's text (see settings.h). One table
// names every key with the kind of its value and where it goes, for the
// reader and the writer alike.
#include "app/settings.h"

#include <cstdio>
#include <cstring>

#include "syslog/filter.h"

namespace {

// A text value is taken as it is; an expression is a text that must read
// as a filter.
enum SettingKind { kWindowValue, kSwitchValue, kCharsetValue, kTextValue, kExpressionValue };

struct SettingRule {
    const char* key;
    SettingKind kind;
    bool Settings::*flag;                      // a switch
    char (Settings::*text)[kSettingTextSize];  // a text
};

const SettingRule kRules[] = {
    {"window", kWindowValue, nullptr, nullptr},
    {"maximized", kSwitchValue, &Settings::maximized, nullptr},
    {"mask", kSwitchValue, &Settings::mask, nullptr},
    {"charset", kCharsetValue, nullptr, nullptr},
    {"filter", kExpressionValue, nullptr, &Settings::filter},
    {"alert", kExpressionValue, nullptr, &Settings::alert},
    {"alert_balloon", kSwitchValue, &Settings::alertBalloon, nullptr},
    {"alert_sound", kSwitchValue, &Settings::alertSound, nullptr},
    {"alert_flash", kSwitchValue, &Settings::alertFlash, nullptr},
    {"find", kTextValue, nullptr, &Settings::find},
    {"find_case", kSwitchValue, &Settings::findMatchCase, nullptr},
    {"tray", kSwitchValue, &Settings::tray, nullptr},
};

const char kSection[] = "[ornivel]";
// The window's edges, as far as the system's coordinates go.
const long kMaxCoordinate = 32767;
// Bytes of a value or a line that a status line quotes.
const size_t kQuoted = 96;

// 設定ファイル PATH の N 行目: KEY の値「VALUE」は使えないため、既定値にします。
const char kFile[] = "\x90\xdd\x92\xe8\x83t\x83@\x83"
                     "C\x83\x8b ";
const char kOf[] = " \x82\xcc ";
const char kLineAt[] = " \x8ds\x96\xda: ";
const char kValueOpen[] = " \x82\xcc\x92l\x81u";
const char kBadValue[] =
    "\x81v\x82\xcd\x8eg\x82\xa6\x82\xc8\x82\xa2\x82\xbd\x82\xdf\x81"
    "A\x8a\xf9\x92\xe8\x92l\x82\xc9\x82\xb5\x82\xdc\x82\xb7\x81"
    "B";
// 設定ファイル PATH の N 行目「LINE」を読めないため、無視します。
const char kLineOpen[] = " \x8ds\x96\xda\x81u";
const char kBadLine[] =
    "\x81v\x82\xf0\x93\xc7\x82\xdf\x82\xc8\x82\xa2\x82\xbd\x82\xdf\x81"
    "A\x96\xb3\x8e\x8b\x82\xb5\x82\xdc\x82\xb7\x81"
    "B";
// 設定ファイル PATH にはほかにも使えない行が N 行あります。
const char kMoreOpen[] =
    " \x82\xc9\x82\xcd\x82\xd9\x82\xa9\x82\xc9\x82\xe0\x8eg\x82\xa6\x82\xc8\x82\xa2\x8ds\x82\xaa ";
const char kMoreClose[] =
    " \x8ds\x82\xa0\x82\xe8\x82\xdc\x82\xb7\x81"
    "B";

// 設定ファイル PATH を読めません: REASON 既定の設定を使います。
const char kCannotRead[] = " \x82\xf0\x93\xc7\x82\xdf\x82\xdc\x82\xb9\x82\xf1: ";
const char kDefaultsUsed[] =
    " \x8a\xf9\x92\xe8\x82\xcc\x90\xdd\x92\xe8\x82\xf0\x8eg\x82\xa2\x82\xdc\x82\xb7\x81"
    "B";
// 設定ファイル PATH に書き込めません: REASON
const char kCannotWrite[] = " \x82\xc9\x8f\x91\x82\xab\x8d\x9e\x82\xdf\x82\xdc\x82\xb9\x82\xf1: ";

void PutNumber(BoundedText* w, long long n) {
    char number[24];
    snprintf(number, sizeof number, "%lld", n);
    AppendWhole(w, number);
}

// A value or line as found, cut between whole characters and marked "...".
// A control byte or 0xFF, which the view would take for one of its codes
// (and a NUL, which would end the text), shows as '?'.
void PutQuoted(BoundedText* w, const char* bytes, size_t length) {
    char quoted[kQuoted];
    size_t shown = WholeCharacterPrefix(bytes, length, kQuoted);
    for (size_t i = 0; i < shown; i++) {
        unsigned char c = static_cast<unsigned char>(bytes[i]);
        quoted[i] = c < 0x20 || c == 0xFF ? '?' : bytes[i];
    }
    AppendWhole(w, quoted, shown);
    if (shown < length) AppendWhole(w, "...");
}

// One read's status lines: the first kMaxSettingsNotes - 1 problems, then
// the last slot for one more or for the count of the rest.
struct NoteTaker {
    SettingsNotes* notes;
    const char* path;
    int problems;
};

// Starts the next status line with "設定ファイル PATH"; null once the slots are full.
BoundedText* StartNote(NoteTaker* t, BoundedText* w) {
    if (t->problems++ >= kMaxSettingsNotes) return nullptr;
    *w = BoundedText{t->notes->lines[t->notes->count++], kSettingsNoteSize, 0, false};
    AppendWhole(w, kFile);
    AppendWhole(w, t->path);
    return w;
}

void NoteBadLine(NoteTaker* t, int number, const char* line, size_t length) {
    BoundedText w;
    if (!StartNote(t, &w)) return;
    AppendWhole(&w, kOf);
    PutNumber(&w, number);
    AppendWhole(&w, kLineOpen);
    PutQuoted(&w, line, length);
    AppendWhole(&w, kBadLine);
}

void NoteBadValue(NoteTaker* t, int number, const char* key, const char* value, size_t length) {
    BoundedText w;
    if (!StartNote(t, &w)) return;
    AppendWhole(&w, kOf);
    PutNumber(&w, number);
    AppendWhole(&w, kLineAt);
    AppendWhole(&w, key);
    AppendWhole(&w, kValueOpen);
    PutQuoted(&w, value, length);
    AppendWhole(&w, kBadValue);
}

// More problems than slots: the last slot counts all that did not get one.
void FinishNotes(NoteTaker* t) {
    if (t->problems <= kMaxSettingsNotes) return;
    BoundedText w = {t->notes->lines[kMaxSettingsNotes - 1], kSettingsNoteSize, 0, false};
    AppendWhole(&w, kFile);
    AppendWhole(&w, t->path);
    AppendWhole(&w, kMoreOpen);
    PutNumber(&w, t->problems - (kMaxSettingsNotes - 1));
    AppendWhole(&w, kMoreClose);
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// An integer of optional '-' and decimal digits, no more than `limit` in size;
// `*p` moves past it.
bool ReadInteger(const char** p, const char* end, long limit, long* value) {
    const char* q = *p;
    bool negative = q < end && *q == '-';
    if (negative) q++;
    if (q == end || *q < '0' || *q > '9') return false;
    long n = 0;
    for (; q < end && *q >= '0' && *q <= '9'; q++) {
        n = n * 10 + (*q - '0');
        if (n > limit + 1) return false;
    }
    if (n > limit + (negative ? 1 : 0)) return false;
    *value = negative ? -n : n;
    *p = q;
    return true;
}

// "left,top,right,bottom", a rectangle that is not empty.
bool ReadWindow(const char* value, size_t length, Settings* s) {
    const char* p = value;
    const char* end = value + length;
    long edges[4];
    for (int i = 0; i < 4; i++) {
        if (i > 0 && (p == end || *p++ != ',')) return false;
        if (!ReadInteger(&p, end, kMaxCoordinate, &edges[i])) return false;
    }
    if (p != end || edges[2] <= edges[0] || edges[3] <= edges[1]) return false;
    s->hasWindow = true;
    s->left = static_cast<int>(edges[0]);
    s->top = static_cast<int>(edges[1]);
    s->right = static_cast<int>(edges[2]);
    s->bottom = static_cast<int>(edges[3]);
    return true;
}

// Takes one value; false when it is refused, the setting then keeping its default.
bool TakeValue(const SettingRule* rule, const char* value, size_t length, Settings* s) {
    switch (rule->kind) {
        case kWindowValue:
            return ReadWindow(value, length, s);
        case kSwitchValue:
            if (length != 1 || (value[0] != '0' && value[0] != '1')) return false;
            s->*rule->flag = value[0] == '1';
            return true;
        case kCharsetValue: {
            char name[8];
            if (length >= sizeof name) return false;
            memcpy(name, value, length);
            name[length] = '\0';
            return ParseCharsetName(name, &s->charset);
        }
        case kTextValue:
        case kExpressionValue: {
            if (length >= kSettingTextSize) return false;
            char text[kSettingTextSize];
            memcpy(text, value, length);
            text[length] = '\0';
            static Filter filter;  // read only to be refused: the window reads it again
            if (rule->kind == kExpressionValue && !ParseFilter(text, &filter, nullptr, 0)) return false;
            memcpy(s->*rule->text, text, length + 1);
            return true;
        }
    }
    return false;
}

// The default of the one setting a rule names, for a value that was refused.
void ResetSetting(const SettingRule* rule, Settings* s) {
    Settings defaults;
    DefaultSettings(&defaults);
    switch (rule->kind) {
        case kWindowValue:
            s->hasWindow = false;
            s->left = s->top = s->right = s->bottom = 0;
            break;
        case kSwitchValue:
            s->*rule->flag = defaults.*rule->flag;
            break;
        case kCharsetValue:
            s->charset = defaults.charset;
            break;
        case kTextValue:
        case kExpressionValue:
            (s->*rule->text)[0] = '\0';
            break;
    }
}

const SettingRule* FindRule(const char* key, size_t length) {
    for (const SettingRule& rule : kRules) {
        if (strlen(rule.key) == length && memcmp(rule.key, key, length) == 0) return &rule;
    }
    return nullptr;
}

// One line without its line end.
void ReadLine(NoteTaker* t, int number, const char* line, size_t length, Settings* s) {
    const char* end = line + length;
    const char* p = line;
    while (p < end && IsBlank(*p)) p++;
    if (p == end || *p == ';' || *p == '#' || *p == '[') return;
    const char* equals = static_cast<const char*>(memchr(p, '=', end - p));
    bool hasNul = memchr(line, '\0', length) != nullptr;
    const char* keyEnd = equals;
    while (keyEnd && keyEnd > p && IsBlank(keyEnd[-1])) keyEnd--;
    const SettingRule* rule = equals && !hasNul ? FindRule(p, keyEnd - p) : nullptr;
    if (!rule) {
        NoteBadLine(t, number, line, length);
        return;
    }
    const char* value = equals + 1;
    if (!TakeValue(rule, value, end - value, s)) {
        ResetSetting(rule, s);
        NoteBadValue(t, number, rule->key, value, end - value);
    }
}

void PutLine(BoundedText* w, const char* key, const char* value) {
    AppendWhole(w, key);
    AppendWhole(w, "=");
    // A line end inside a text would end its line early.
    for (const char* p = value; *p; p++) AppendWhole(w, *p == '\r' || *p == '\n' ? " " : p, 1);
    AppendWhole(w, "\r\n");
}

}  // namespace

void DefaultSettings(Settings* s) {
    memset(s, 0, sizeof *s);
    s->charset = kCharsetAuto;
    s->alertBalloon = s->alertSound = s->alertFlash = true;
}

void ReadSettings(const char* text, size_t length, const char* path, Settings* s, SettingsNotes* notes) {
    DefaultSettings(s);
    notes->count = 0;
    NoteTaker taker = {notes, path, 0};
    if (length > kMaxSettingsFile) length = kMaxSettingsFile;
    const char* p = text;
    const char* end = text + length;
    // A byte order mark, from an editor that saved the file as UTF-8.
    if (length >= 3 && memcmp(p, "\xEF\xBB\xBF", 3) == 0) p += 3;
    for (int number = 1; p < end; number++) {
        const char* lineEnd = static_cast<const char*>(memchr(p, '\n', end - p));
        const char* next = lineEnd ? lineEnd + 1 : end;
        if (!lineEnd) lineEnd = end;
        if (lineEnd > p && lineEnd[-1] == '\r') lineEnd--;
        ReadLine(&taker, number, p, lineEnd - p, s);
        p = next;
    }
    FinishNotes(&taker);
}

size_t FormatSettings(const Settings* s, char* out, size_t size) {
    if (size == 0) return 0;
    BoundedText w = {out, size, 0, false};
    AppendWhole(&w, kSection);
    AppendWhole(&w, "\r\n");
    for (const SettingRule& rule : kRules) {
        char value[32];
        const char* shown = value;
        switch (rule.kind) {
            case kWindowValue:
                if (!s->hasWindow) continue;
                snprintf(value, sizeof value, "%d,%d,%d,%d", s->left, s->top, s->right, s->bottom);
                break;
            case kSwitchValue:
                shown = s->*rule.flag ? "1" : "0";
                break;
            case kCharsetValue:
                shown = CharsetName(s->charset);
                break;
            case kTextValue:
            case kExpressionValue:
                shown = s->*rule.text;
                break;
        }
        PutLine(&w, rule.key, shown);
    }
    if (w.full) {
        out[0] = '\0';
        return 0;
    }
    return w.length;
}

void FormatSettingsFailure(const char* path, const char* reason, bool writing, char* out, size_t size) {
    if (size == 0) return;
    BoundedText w = {out, size, 0, false};
    AppendWhole(&w, kFile);
    AppendWhole(&w, path);
    AppendWhole(&w, writing ? kCannotWrite : kCannotRead);
    AppendWhole(&w, reason);
    if (!writing) AppendWhole(&w, kDefaultsUsed);
}
