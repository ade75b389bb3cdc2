// Reads the command line's options into a plain record, left to right, and
// refuses the first argument it cannot take, naming it. The texts are the
// Shift-JIS bytes that the message boxes show.
#include "app/options.h"

#include <cstdio>
#include <cstring>

#include "syslog/filter.h"

namespace {

enum ValueKind { kPathValue, kNumberValue, kCharsetValue, kFilterValue, kNoValue };

struct OptionRule {
    const char* name;
    ValueKind kind;
    long long low, high;          // the range of a number
    int Options::*number;         // where a number goes
    const char* Options::*text;   // where a filter goes
    bool Options::*flag;          // what an option without a value sets
};

const OptionRule kRules[] = {
    {"--log", kPathValue, 0, 0, nullptr, nullptr, nullptr},
    {"--keep-days", kNumberValue, 0, 2147483647, &Options::keepDays, nullptr, nullptr},
    {"--port", kNumberValue, 1, 65535, &Options::port, nullptr, nullptr},
    {"--max-lines", kNumberValue, 0, 2147483647, &Options::maxLines, nullptr, nullptr},
    {"--charset", kCharsetValue, 0, 0, nullptr, nullptr, nullptr},
    {"--filter", kFilterValue, 0, 0, nullptr, &Options::filter, nullptr},
    {"--alert", kFilterValue, 0, 0, nullptr, &Options::alert, nullptr},
    {"--minimized", kNoValue, 0, 0, nullptr, nullptr, &Options::minimized},
    {"--help", kNoValue, 0, 0, nullptr, nullptr, &Options::help},
};

const char kDefaultLogPath[] = "messages";

// 不明なオプションです:
const char kUnknownOption[] = "\x95s\x96\xbe\x82\xc8\x83I\x83v\x83V\x83\x87\x83\x93\x82\xc5\x82\xb7: ";
// オプションではない引数です:
const char kStrayArgument[] =
    "\x83I\x83v\x83V\x83\x87\x83\x93\x82\xc5\x82\xcd\x82\xc8\x82\xa2\x88\xf8\x90\x94\x82\xc5\x82\xb7: ";
// に値がありません。
const char kMissingValue[] =
    " \x82\xc9\x92l\x82\xaa\x82\xa0\x82\xe8\x82\xdc\x82\xb9\x82\xf1\x81"
    "B";
// の値が空です。
const char kEmptyValue[] =
    " \x82\xcc\x92l\x82\xaa\x8b\xf3\x82\xc5\x82\xb7\x81"
    "B";
// は値を取りません:
const char kNoValueTaken[] = " \x82\xcd\x92l\x82\xf0\x8e\xe6\x82\xe8\x82\xdc\x82\xb9\x82\xf1: ";
// の値「 ... 」は
const char kValueOpen[] = " \x82\xcc\x92l\x81u";
const char kValueClose[] = "\x81v\x82\xcd ";
// から ... までの整数ではありません。
const char kRangeFrom[] = " \x82\xa9\x82\xe7 ";
const char kRangeTo[] =
    " \x82\xdc\x82\xc5\x82\xcc\x90\xae\x90\x94\x82\xc5\x82\xcd\x82\xa0\x82\xe8\x82\xdc\x82\xb9\x82\xf1\x81"
    "B";
// auto、sjis、utf8、eucjp のどれでもありません。
const char kNotACharset[] =
    "auto\x81"
    "Asjis\x81"
    "Autf8\x81"
    "Aeucjp \x82\xcc\x82\xc7\x82\xea\x82\xc5\x82\xe0\x82\xa0\x82\xe8\x82\xdc"
    "\x82\xb9\x82\xf1\x81"
    "B";
// フィルターの誤りです:
const char kBadFilter[] =
    "\x83\x74\x83\x42\x83\x8b\x83\x5e\x81\x5b\x82\xcc\x8c\xeb\x82\xe8\x82\xc5\x82\xb7: ";
// には日付の欄 (%Y %m %d %H) のある --log が要ります。
const char kKeepDaysNeedsDates[] =
    " \x82\xc9\x82\xcd\x93\xfa\x95t\x82\xcc\x97\x93 (%Y %m %d %H) \x82\xcc\x82\xa0\x82\xe9 --log "
    "\x82\xaa\x97v\x82\xe8\x82\xdc\x82\xb7\x81"
    "B";
// % で終わっています (% そのものは %% と書きます)。
const char kLonePercent[] =
    "% \x82\xc5\x8fI\x82\xed\x82\xc1\x82\xc4\x82\xa2\x82\xdc\x82\xb7 (% "
    "\x82\xbb\x82\xcc\x82\xe0\x82\xcc\x82\xcd %% \x82\xc6\x8f\x91\x82\xab\x82\xdc\x82\xb7)\x81"
    "B";
// 使えない欄 %q を含みます (使えるのは %Y %m %d %H %%)。
const char kUnknownField[] = "\x8eg\x82\xa6\x82\xc8\x82\xa2\x97\x93 ";
const char kUnknownFieldEnd[] =
    " \x82\xf0\x8a\xdc\x82\xdd\x82\xdc\x82\xb7 (\x8eg\x82\xa6\x82\xe9\x82\xcc\x82\xcd %Y %m %d %H %%)\x81"
    "B";
// (改行) --help でオプションの一覧を表示します。
const char kHelpHint[] =
    "\n--help "
    "\x82\xc5\x83I\x83v\x83V\x83\x87\x83\x93\x82\xcc\x88\xea\x97\x97\x82\xf0\x95\\\x8e\xa6\x82\xb5\x82"
    "\xdc\x82\xb7\x81"
    "B";

const char kHelpText[] =
    // 使い方: ornivel.exe [オプション]
    "\x8eg\x82\xa2\x95\xfb: ornivel.exe [\x83I\x83v\x83V\x83\x87\x83\x93]\n"
    "\n"
    "--log PATH\n"
    //     ログファイル (既定: カレントディレクトリの messages)
    "    \x83\x8d\x83O\x83t\x83@\x83"
    "C\x83\x8b (\x8a\xf9\x92\xe8: \x83J\x83\x8c\x83\x93\x83g\x83"
    "f\x83"
    "B\x83\x8c\x83N\x83g\x83\x8a\x82\xcc messages)\n"
    //     %Y %m %d %H は到着の年月日時、%% は % (例: logs\%Y-%m-%d.log)
    "    %Y %m %d %H \x82\xcd\x93\x9e\x92\x85\x82\xcc\x94N\x8c\x8e\x93\xfa\x8e\x9e\x81"
    "A%% \x82\xcd % (\x97\xe1: logs\\%Y-%m-%d.log)\n"
    "--keep-days N\n"
    //     N 日より前の日付のログファイルを削除します (--log に日付の欄が要ります)
    "    N \x93\xfa\x82\xe6\x82\xe8\x91O\x82\xcc\x93\xfa\x95t\x82\xcc\x83\x8d\x83O\x83t\x83@\x83"
    "C\x83\x8b\x82\xf0\x8d\xed\x8f\x9c\x82\xb5\x82\xdc\x82\xb7 (--log "
    "\x82\xc9\x93\xfa\x95t\x82\xcc\x97\x93\x82\xaa\x97v\x82\xe8\x82\xdc\x82\xb7)\n"
    "--port N\n"
    //     受信するポート、1 から 65535 (既定: 514)
    "    \x8e\xf3\x90M\x82\xb7\x82\xe9\x83|\x81[\x83g\x81"
    "A1 \x82\xa9\x82\xe7 65535 (\x8a\xf9\x92\xe8: 514)\n"
    "--max-lines N\n"
    //     ビューに残す行数、0 は無制限 (既定: 1000000)
    "    \x83r\x83\x85\x81[\x82\xc9\x8e"
    "c\x82\xb7\x8ds\x90\x94\x81"
    "A0 \x82\xcd\x96\xb3\x90\xa7\x8c\xc0 "
    "(\x8a\xf9\x92\xe8: 1000000)\n"
    "--charset auto|sjis|utf8|eucjp\n"
    //     文字コードの最初の選択 (既定: 前回の選択、なければ auto)
    "    \x95\xb6\x8e\x9a\x83R\x81[\x83h\x82\xcc\x8d\xc5\x8f\x89\x82\xcc\x91I\x91\xf0 (\x8a\xf9\x92\xe8: "
    "\x91O\x89\xf1\x82\xcc\x91I\x91\xf0\x81" "A\x82\xc8\x82\xaf\x82\xea\x82\xce auto)\n"
    "--filter EXPR\n"
    //     表示するエントリーのフィルター (既定: 前回のもの、なければなし)
    "    \x95\x5c\x8e\xa6\x82\xb7\x82\xe9\x83\x47\x83\x93\x83\x67\x83\x8a\x81\x5b\x82\xcc\x83\x74\x83\x42"
    "\x83\x8b\x83\x5e\x81\x5b (\x8a\xf9\x92\xe8: \x91O\x89\xf1\x82\xcc\x82\xe0\x82\xcc\x81" "A\x82\xc8\x82\xaf"
    "\x82\xea\x82\xce\x82\xc8\x82\xb5)\n"
    "--alert EXPR\n"
    //     通知の条件 (フィルターと同じ書き方)
    "    \x92\xca\x92m\x82\xcc\x8f\xf0\x8c\x8f (\x83t\x83"
    "B\x83\x8b\x83^\x81[\x82\xc6\x93\xaf\x82\xb6\x8f\x91\x82\xab\x95\xfb)\n"
    "--minimized\n"
    //     最小化して起動します (トレイに格納する設定ならトレイに)
    "    \x8d\xc5\x8f\xac\x89\xbb\x82\xb5\x82\xc4\x8bN\x93\xae\x82\xb5\x82\xdc\x82\xb7 (\x83g\x83\x8c\x83"
    "C\x82\xc9\x8ai\x94[\x82\xb7\x82\xe9\x90\xdd\x92\xe8\x82\xc8\x82\xe7\x83g\x83\x8c\x83"
    "C\x82\xc9)\n"
    "--help\n"
    //     この説明を表示して終了します
    "    "
    "\x82\xb1\x82\xcc\x90\xe0\x96\xbe\x82\xf0\x95\\\x8e\xa6\x82\xb5\x82\xc4\x8fI\x97\xb9\x82\xb5\x82\xdc\x82"
    "\xb7\n"
    "\n"
    // 値は --port=N のように = でつないでも書けます。
    "\x92l\x82\xcd --port=N \x82\xcc\x82\xe6\x82\xa4\x82\xc9 = "
    "\x82\xc5\x82\xc2\x82\xc8\x82\xa2\x82\xc5\x82\xe0"
    "\x8f\x91\x82\xaf\x82\xdc\x82\xb7\x81"
    "B\n"
    // 同じオプションが二度あれば、後のものが有効です。
    "\x93\xaf\x82\xb6\x83I\x83v\x83V\x83\x87\x83\x93\x82\xaa\x93\xf1\x93x\x82\xa0\x82\xea\x82\xce\x81"
    "A\x8c\xe3\x82\xcc\x82\xe0\x82\xcc\x82\xaa\x97L\x8c\xf8\x82\xc5\x82\xb7\x81"
    "B\n";

// An argument as the user wrote it, cut after kShownArgument bytes at a
// character boundary (a double-byte character stays whole) and marked "...".
void AppendArgument(BoundedText* text, const char* argument, size_t length) {
    size_t shown = WholeCharacterPrefix(argument, length, kShownArgument);
    AppendWhole(text, argument, shown);
    if (shown < length) AppendWhole(text, "...");
}

void AppendArgument(BoundedText* text, const char* argument) {
    AppendArgument(text, argument, strlen(argument));
}

// Starts the refusal of argv[index]; the caller writes the reason.
BoundedText Refuse(Options* options, int index) {
    options->badArgument = index;
    options->error[0] = '\0';
    return BoundedText{options->error, kOptionsErrorSize, 0, false};
}

bool Refused(BoundedText* text) {
    AppendWhole(text, kHelpHint);
    return false;
}

const OptionRule* FindRule(const char* name, size_t length) {
    for (const OptionRule& rule : kRules) {
        if (strlen(rule.name) == length && memcmp(rule.name, name, length) == 0) return &rule;
    }
    return nullptr;
}

// Decimal digits only: no sign, no space, nothing after them.
bool ReadNumber(const char* text, long long low, long long high, long long* value) {
    long long n = 0;
    for (const char* p = text; *p; p++) {
        if (*p < '0' || *p > '9') return false;
        n = n * 10 + (*p - '0');
        if (n > high) return false;  // also keeps n from overflowing
    }
    if (n < low) return false;
    *value = n;
    return true;
}

// "OPT の値「VALUE」は "; the caller adds what the value should have been.
BoundedText RefuseValue(Options* options, int index, const OptionRule* rule, const char* value) {
    BoundedText text = Refuse(options, index);
    AppendWhole(&text, rule->name);
    AppendWhole(&text, kValueOpen);
    AppendArgument(&text, value);
    AppendWhole(&text, kValueClose);
    return text;
}

// A log path: a pattern whose every field is a date field (log_pattern.h).
bool TakePath(Options* options, int index, const OptionRule* rule, const char* value) {
    size_t at = 0;
    LogPatternKind kind = CheckLogPattern(value, &at);
    if (kind <= kPatternDated) {
        options->logPath = value;
        return true;
    }
    BoundedText text = RefuseValue(options, index, rule, value);
    if (kind == kPatternLonePercent) {
        AppendWhole(&text, kLonePercent);
    } else {
        // The field as written: "%" and one whole character, of one byte or two.
        const char* field = value + at;
        size_t rest = strlen(field + 1), character = WholeCharacterPrefix(field + 1, rest, 1);
        if (character == 0) character = WholeCharacterPrefix(field + 1, rest, 2);
        AppendWhole(&text, kUnknownField);
        AppendWhole(&text, field, 1 + character);
        AppendWhole(&text, kUnknownFieldEnd);
    }
    return Refused(&text);
}

// Takes the value of one option; false when it is refused.
bool TakeValue(Options* options, int index, const OptionRule* rule, const char* value) {
    if (rule->kind == kPathValue) return TakePath(options, index, rule, value);
    if (rule->kind == kNumberValue) {
        long long n = 0;
        if (!ReadNumber(value, rule->low, rule->high, &n)) {
            BoundedText text = RefuseValue(options, index, rule, value);
            char number[24];
            snprintf(number, sizeof number, "%lld", rule->low);
            AppendWhole(&text, number);
            AppendWhole(&text, kRangeFrom);
            snprintf(number, sizeof number, "%lld", rule->high);
            AppendWhole(&text, number);
            AppendWhole(&text, kRangeTo);
            return Refused(&text);
        }
        options->*rule->number = static_cast<int>(n);
        return true;
    }
    if (rule->kind == kFilterValue) {
        // Read here only to refuse it; the window reads it again.
        static Filter filter;
        char error[kFilterErrorSize];
        if (ParseFilter(value, &filter, error, sizeof error)) {
            options->*rule->text = value;
            return true;
        }
        BoundedText text = RefuseValue(options, index, rule, value);
        AppendWhole(&text, kBadFilter);
        AppendWhole(&text, error);
        return Refused(&text);
    }
    if (ParseCharsetName(value, &options->charset)) {
        options->charsetGiven = true;
        return true;
    }
    BoundedText text = RefuseValue(options, index, rule, value);
    AppendWhole(&text, kNotACharset);
    return Refused(&text);
}

}  // namespace

bool ReadOptions(int argc, const char* const* argv, Options* options) {
    options->logPath = kDefaultLogPath;
    options->keepDays = kKeepEveryDay;
    options->port = kDefaultPort;
    options->maxLines = kDefaultMaxLines;
    options->charset = kCharsetAuto;
    options->charsetGiven = false;
    options->alert = nullptr;
    options->minimized = false;
    options->filter = nullptr;
    options->help = false;
    options->badArgument = 0;
    options->error[0] = '\0';

    int keepDaysIndex = 0;  // the last --keep-days, which counts
    for (int i = 1; i < argc; i++) {
        const char* argument = argv[i];
        if (argument[0] != '-') {
            BoundedText text = Refuse(options, i);
            AppendWhole(&text, kStrayArgument);
            AppendArgument(&text, argument);
            return Refused(&text);
        }
        const char* equals = strchr(argument, '=');
        size_t nameLength = equals ? static_cast<size_t>(equals - argument) : strlen(argument);
        const OptionRule* rule = FindRule(argument, nameLength);
        if (!rule) {
            BoundedText text = Refuse(options, i);
            AppendWhole(&text, kUnknownOption);
            AppendArgument(&text, argument);
            return Refused(&text);
        }
        if (rule->kind == kNoValue) {
            if (equals) {
                BoundedText text = Refuse(options, i);
                AppendWhole(&text, rule->name);
                AppendWhole(&text, kNoValueTaken);
                AppendArgument(&text, argument);
                return Refused(&text);
            }
            options->*rule->flag = true;
            continue;
        }
        // "--opt VALUE" takes the next argument, unless that is an option
        // itself: "--log --port 5" forgot the path more likely than it names
        // a file "--port" (which "--log=--port" still can).
        int optionIndex = i, valueIndex = i;
        const char* value = equals ? equals + 1 : nullptr;
        if (!equals && i + 1 < argc && strncmp(argv[i + 1], "--", 2) != 0) value = argv[valueIndex = ++i];
        if (!value || !*value) {
            BoundedText text = Refuse(options, valueIndex);
            AppendWhole(&text, rule->name);
            AppendWhole(&text, value ? kEmptyValue : kMissingValue);
            return Refused(&text);
        }
        if (!TakeValue(options, valueIndex, rule, value)) return false;
        if (rule->number == &Options::keepDays) keepDaysIndex = optionIndex;
    }
    // Only a dated log file has old files to delete.
    if (keepDaysIndex != 0 && CheckLogPattern(options->logPath, nullptr) != kPatternDated) {
        BoundedText text = Refuse(options, keepDaysIndex);
        AppendWhole(&text, "--keep-days");
        AppendWhole(&text, kKeepDaysNeedsDates);
        return Refused(&text);
    }
    return true;
}

const char* OptionsHelpText() {
    return kHelpText;
}
