// The command line's options, read from argc/argv as the C run-time splits
// the command line (__argc/__argv, so quoting follows its rules):
//   --log PATH            the log file (default "messages", in the current directory), a
//                         pattern with date fields (%Y %m %d %H, %% for %: log_pattern.h)
//   --keep-days N         delete dated log files more than N days old, 0..2147483647
//                         (only with date fields in --log; default: keep every one)
//   --port N              UDP (and TCP) port, 1..65535 (default 514)
//   --max-lines N         the view's line limit, 0..2147483647, 0 for none (default 1000000)
//   --charset NAME        auto, sjis, utf8 or eucjp, in any letter case (default: the
//                         one remembered, else auto)
//   --filter EXPR         the filter the view starts with (syslog/filter.h; default: the
//                         one remembered, else none)
//   --alert EXPR          the alert rule for this run, in the filter language
//                         (syslog/filter.h; default: the one remembered)
//   --minimized           start minimized (in the tray when minimizing goes there)
//   --help                the help text instead of a run
// Each option takes its value as "--opt VALUE" or "--opt=VALUE"; given twice,
// the last one wins. Anything else is refused, never guessed at: an unknown
// option, a stray argument, a missing or empty value, a number with a sign,
// garbage or out of range, a filter or alert rule that cannot be read, a
// value given to --help or --minimized, a field of --log that is none of
// the date fields, --keep-days without them. The first such argument
// is named in a Shift-JIS text for the Error box. Pure code: no window headers.
#pragma once

#include <cstddef>

#include "logfile/log_pattern.h"
#include "syslog/charset.h"

enum {
    kDefaultPort = 514,
    kDefaultMaxLines = 1000000,
    kOptionsErrorSize = 512,  // the error text, NUL included
    kShownArgument = 96,      // bytes of an argument that the error text quotes
};

struct Options {
    const char* logPath;  // the argument as given (argv outlives the run), or "messages"
    int keepDays;         // kKeepEveryDay when not given
    int port;
    int maxLines;  // 0: no limit
    CharsetMode charset;
    const char* filter;             // the argument as given, or nullptr for none
    bool charsetGiven;              // --charset was given: it wins over the remembered one
    const char* alert;              // the argument as given; null when --alert was not
    bool minimized;                 // --minimized was given
    bool help;                      // --help was given
    int badArgument;                // index in argv of the argument refused, 0 when none
    char error[kOptionsErrorSize];  // why, in Shift-JIS; "" when nothing was refused
};

// Fills `options` from argv[1..argc-1]; false when an argument is refused
// (then `badArgument` and `error` say which and why, and the rest is not to
// be used). A refusal wins over --help.
bool ReadOptions(int argc, const char* const* argv, Options* options);

// The help text for --help: every option, its values and its default, in
// Japanese (Shift-JIS), lines ending in LF as a message box takes them.
const char* OptionsHelpText();
