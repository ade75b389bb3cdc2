// The filter language: which entries the view shows. Terms are separated by
// blanks (space, tab, CR, LF or the full-width space U+3000), and every term
// must hold:
//   WORD  "A PHRASE"   the message text contains it, with find's rules: ASCII
//                      letters in either case, a match never starts on a
//                      trail byte and covers whole characters
//   host:TEXT          the host contains TEXT (ASCII letters in either case)
//   host:=TEXT         the host is TEXT (ASCII letters in either case, as
//                      host names are)
//   from:TEXT          the sender as shown ("192.0.2.7:40123",
//                      "[2001:db8::7]:40123") starts with TEXT, from:=TEXT it
//                      is TEXT (ASCII letters in either case: hex digits)
//   sev:NAME           the severity NAME or more severe (numerically lower or
//                      equal); sev:=NAME only NAME. A name of the parser's
//                      table (emerg panic alert crit err error warning warn
//                      notice info debug) or 0-7
//   fac:NAME           the facility NAME (fac:=NAME the same): a name of the
//                      parser's table (kern user mail daemon auth security
//                      syslog lpr news uucp cron authpriv ftp mark
//                      local0-local7) or its number 0-31 (above 23 for PRI
//                      values above 191, which the parser takes modulo 256)
//   -TERM              the term does not hold
// Keys and names are ASCII case-insensitive (Host:, SEV:Err). An entry without
// PRI has no severity and no facility: no sev: or fac: term holds for it, so
// their negations do.
// Quotes: "..." makes one term or value of text with blanks in it, and ""
// inside quotes is one literal ". A quote opens only a term (after its "-")
// or a value (after "key:" or "key:="), and its closing quote ends it.
// host:="core sw 1" is a quoted value; "host:x" in quotes is text to find.
// A bare word is a key term only when it starts with ASCII letters followed
// by ':' (after a "-"); so %LINK-3-UPDOWN: and 10:22:33 are text, while
// error: or http://x is an unknown key, to be quoted to be found as text.
// Everything else is refused with a reason, never ignored: an unknown key or
// name, an empty value or phrase (host:, host:"", ""), an unclosed quote, a
// quote inside a word, a "-" alone or doubled, too many terms or bytes.
// Double-byte characters: every syntax byte is ASCII below 0x40, which code
// page 932 never uses as a trail byte, so no trail byte is read as syntax;
// a lead byte before a syntax byte stands alone (a host sent with broken
// bytes can still be named). Pure code: no window headers.
#pragma once

#include <cstddef>

#include "colorview/lead_bytes.h"

enum { kMaxFilterText = 1024, kMaxFilterTerms = 64, kFilterErrorSize = 256 };

// One entry as the window thread knows it.
struct FilterFields {
    const char* host;  // NUL-terminated, as the view shows it
    const char* from;  // the sender as shown, FormatSender's text: "192.0.2.7:40123", "[2001:db8::7]:40123"
    // The message text as the view shows it (code page 932, after
    // conversion). The byte at text[textLength] is read, as FindText reads
    // it: a NUL, CR or LF there ends the last character.
    const char* text;
    size_t textLength;
    bool hasPri;   // false for an entry without PRI: it has no severity and no facility
    int facility;  // as SyslogMessage: PRI & 0xF8
    int severity;  // PRI & 7
};

enum FilterTermKind : unsigned char {
    kTermText,
    kTermHostContains,
    kTermHostEquals,
    kTermFromStarts,
    kTermFromEquals,
    kTermSeverityAtLeast,
    kTermSeverityEquals,
    kTermFacility,
};

struct FilterTerm {
    FilterTermKind kind;
    bool negated;
    unsigned short text;    // text, host and from terms: offset of the value in Filter::texts
    unsigned short length;  // its bytes, without the NUL behind it
    int code;               // severity or facility terms: the severity, or the facility as PRI & 0xF8
};

// A plain fixed-size record, no heap: the terms and a copy of their texts,
// each NUL-terminated.
struct Filter {
    int termCount;
    FilterTerm terms[kMaxFilterTerms];
    char texts[kMaxFilterText];
};

// Parses `expression` (code page 932, at most kMaxFilterText - 1 bytes). True: `*filter` holds it (an
// empty or all-blank expression gives the empty filter, which matches everything). False: `*filter` is
// untouched and `error` gets what is wrong, in Shift-JIS, the text that follows "フィルターの誤り: "
// (e.g. the unknown key, the unknown name, the empty value, the unclosed quote, too long / too many terms).
// `error` may be null when `errorSize` is 0.
bool ParseFilter(const char* expression, Filter* filter, char* error, size_t errorSize);
bool FilterIsEmpty(const Filter* filter);
bool FilterMatches(const Filter* filter, const FilterFields* fields, const LeadBytes* leadBytes);
// Appends one term to the expression in `expression` (NUL-terminated, `size` bytes), separated by a space,
// quoting `value` as the language needs, for the context menu's items: key is "host", "from" or "sev"
// ("fac" too); `exact` gives "host:=", `negated` a leading "-". False (nothing changed) when it would not
// fit, when the term itself would not parse (an unknown key or name, an empty value), or when the
// expression parses but would no longer with the term (more than kMaxFilterTerms terms or
// kMaxFilterText - 1 bytes). An expression that does not parse gets the term all the same.
bool AppendFilterTerm(char* expression, size_t size, const char* key, bool exact, bool negated,
                      const char* value);
