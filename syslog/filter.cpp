// The filter language (syntax in filter.h): the parse of an expression into
// a fixed record of terms, the match of one entry's fields against it, and
// the terms the view's menu adds. Matching is find's search, so a filter and
// the find box agree on what a text contains.
#include "syslog/filter.h"

#include <climits>
#include <cstring>

#include "colorview/text_search.h"
#include "syslog/charset.h"
#include "syslog/parser.h"

namespace {

// Why an expression is refused. Each text is the whole reason; \1 (① in the
// comments) stands for the first piece of the user's text, \2 (②) for the
// second: bytes that code page 932 never uses inside a character.
enum Reason {
    kUnknownKey,
    kEmptyValue,
    kUnknownSeverity,
    kUnknownFacility,
    kUnclosedQuote,
    kQuoteInWord,
    kDashAlone,
    kDoubleDash,
    kEmptyPhrase,
    kTooLong,
    kTooManyTerms,
};
const char* const kReasons[] = {
    // 不明なキー「①」です。文字列として探すには "②" のように引用符で囲んでください。
    "\x95s\x96\xbe\x82\xc8\x83L\x81[\x81u\1\x81v\x82\xc5\x82\xb7\x81"
    "B\x95\xb6\x8e\x9a\x97\xf1\x82\xc6\x82\xb5\x82\xc4\x92T\x82\xb7\x82\xc9\x82\xcd \"\2\" "
    "\x82\xcc\x82\xe6\x82\xa4\x82\xc9\x88\xf8\x97p\x95\x84\x82\xc5\x88\xcd\x82\xf1\x82\xc5\x82\xad\x82\xbe"
    "\x82\xb3\x82\xa2\x81"
    "B",
    // 「①」の値が空です。
    "\x81u\1\x81v\x82\xcc\x92l\x82\xaa\x8b\xf3\x82\xc5\x82\xb7\x81"
    "B",
    // 「①」の名前「②」が分かりません (emerg alert crit err warning notice info debug か 0-7)。
    "\x81u\1\x81v\x82\xcc\x96\xbc\x91O\x81u\2\x81v\x82\xaa\x95\xaa\x82\xa9\x82\xe8\x82\xdc\x82\xb9\x82\xf1 "
    "(emerg alert crit err warning notice info debug \x82\xa9 0-7)\x81"
    "B",
    // 「①」の名前「②」が分かりません (kern user mail daemon auth syslog lpr news uucp cron authpriv ftp
    // local0-local7 か 0-31)。
    "\x81u\1\x81v\x82\xcc\x96\xbc\x91O\x81u\2\x81v\x82\xaa\x95\xaa\x82\xa9\x82\xe8\x82\xdc\x82\xb9\x82\xf1 "
    "(kern user mail daemon auth syslog lpr news uucp cron authpriv ftp local0-local7 \x82\xa9 0-31)\x81"
    "B",
    // 引用符が閉じていません: ①
    "\x88\xf8\x97p\x95\x84\x82\xaa\x95\xc2\x82\xb6\x82\xc4\x82\xa2\x82\xdc\x82\xb9\x82\xf1: \1",
    // 引用符 " は語の初めと終わりにだけ置けます: ①。文字の " は引用符の中で "" と書きます。
    "\x88\xf8\x97p\x95\x84 \" "
    "\x82\xcd\x8c\xea\x82\xcc\x8f\x89\x82\xdf\x82\xc6\x8fI\x82\xed\x82\xe8\x82\xc9\x82\xbe\x82\xaf\x92u\x82"
    "\xaf\x82\xdc\x82\xb7: \1\x81"
    "B\x95\xb6\x8e\x9a\x82\xcc \" \x82\xcd\x88\xf8\x97p\x95\x84\x82\xcc\x92\x86\x82\xc5 \"\" "
    "\x82\xc6\x8f\x91\x82\xab\x82\xdc\x82\xb7\x81"
    "B",
    // 「-」の後に条件がありません。
    "\x81u-\x81v\x82\xcc\x8c\xe3\x82\xc9\x8f\xf0\x8c\x8f\x82\xaa\x82\xa0\x82\xe8\x82\xdc\x82\xb9\x82\xf1\x81"
    "B",
    // 否定の「-」は一つだけです: ①。文字列として探すには引用符で囲んでください。
    "\x94\xdb\x92\xe8\x82\xcc\x81u-\x81v\x82\xcd\x88\xea\x82\xc2\x82\xbe\x82\xaf\x82\xc5\x82\xb7: \1\x81"
    "B\x95\xb6\x8e\x9a\x97\xf1\x82\xc6\x82\xb5\x82\xc4\x92T\x82\xb7\x82\xc9\x82\xcd\x88\xf8\x97p\x95\x84\x82"
    "\xc5\x88\xcd\x82\xf1\x82\xc5\x82\xad\x82\xbe\x82\xb3\x82\xa2\x81"
    "B",
    // 空の引用符 "" では何も探せません。
    "\x8b\xf3\x82\xcc\x88\xf8\x97p\x95\x84 \"\" "
    "\x82\xc5\x82\xcd\x89\xbd\x82\xe0\x92T\x82\xb9\x82\xdc\x82\xb9\x82\xf1\x81"
    "B",
    // フィルターが長すぎます (上限 1023 バイト)。
    "\x83t\x83"
    "B\x83\x8b\x83^\x81[\x82\xaa\x92\xb7\x82\xb7\x82\xac\x82\xdc\x82\xb7 (\x8f\xe3\x8c\xc0 1023 \x83o\x83"
    "C\x83g)\x81"
    "B",
    // 条件が多すぎます (上限 64 個)。
    "\x8f\xf0\x8c\x8f\x82\xaa\x91\xbd\x82\xb7\x82\xac\x82\xdc\x82\xb7 (\x8f\xe3\x8c\xc0 64 \x8c\xc2)\x81"
    "B",
};
static_assert(sizeof kReasons / sizeof kReasons[0] == kTooManyTerms + 1, "one text per reason");
static_assert(kMaxFilterText == 1024 && kMaxFilterTerms == 64, "the limits are spelled out in the texts");

const size_t kShownPiece = 40;  // bytes of the user's text that an error quotes

struct KeyRule {
    const char* name;
    FilterTermKind contains, equals;  // the kinds of key:TEXT and key:=TEXT
};
const KeyRule kKeys[] = {
    {"host", kTermHostContains, kTermHostEquals},
    {"from", kTermFromStarts, kTermFromEquals},
    {"sev", kTermSeverityAtLeast, kTermSeverityEquals},
    {"fac", kTermFacility, kTermFacility},
};

unsigned char AsciiLower(unsigned char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + 32) : c;
}

bool IsAsciiLetter(unsigned char c) {
    return AsciiLower(c) >= 'a' && AsciiLower(c) <= 'z';
}

bool SameIgnoringCase(const char* a, size_t length, const char* b) {
    for (size_t i = 0; i < length; i++) {
        if (b[i] == '\0' ||
            AsciiLower(static_cast<unsigned char>(a[i])) != AsciiLower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return b[length] == '\0';
}

// Bytes of the expression's character at `p`: a lead byte pairs only with a
// true trail byte (0x40-0xFC without 0x7F), never with a syntax byte.
size_t CharBytes(const char* p) {
    const unsigned char next = static_cast<unsigned char>(p[1]);
    return IsCp932LeadByte(static_cast<unsigned char>(p[0])) && next >= 0x40 && next <= 0xFC && next != 0x7F
               ? 2
               : 1;
}

// Bytes of the blank at `p` (space, tab, CR, LF, the full-width space), else 0.
size_t BlankBytes(const char* p) {
    if (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n') return 1;
    return p[0] == '\x81' && p[1] == '\x40' ? 2 : 0;
}

bool EndsWord(const char* p) {
    return *p == '\0' || BlankBytes(p) != 0;
}

const char* WordEnd(const char* p) {
    while (!EndsWord(p)) p += CharBytes(p);
    return p;
}

// A piece of the user's text, for a reason's \1 or \2.
struct Piece {
    const char* from;
    const char* to;
};

// Writes the reason, with at most kShownPiece bytes of each piece; false,
// for the parse to return.
bool Refuse(BoundedText* e, Reason reason, Piece first = {nullptr, nullptr},
            Piece second = {nullptr, nullptr}) {
    for (const char* t = kReasons[reason]; *t != '\0';) {
        if (*t != '\1' && *t != '\2') {
            const size_t run = strcspn(t, "\1\2");
            AppendWhole(e, t, run);
            t += run;
            continue;
        }
        const Piece piece = *t++ == '\1' ? first : second;
        const size_t length = static_cast<size_t>(piece.to - piece.from);
        const size_t shown = WholeCharacterPrefix(piece.from, length, kShownPiece);
        AppendWhole(e, piece.from, shown);
        if (shown < length) AppendWhole(e, "...", 3);
    }
    return false;
}

// The code of a severity (0-7) or facility (PRI & 0xF8) name or number, or -1.
int LookUpCode(const NameCode* table, int highestNumber, int scale, const char* name, size_t length) {
    if (length <= 2 && name[0] >= '0' && name[0] <= '9' &&
        (length == 1 || (name[1] >= '0' && name[1] <= '9'))) {
        int number = length == 1 ? name[0] - '0' : (name[0] - '0') * 10 + (name[1] - '0');
        return number <= highestNumber ? number * scale : -1;
    }
    // The severity table also holds "none", which no entry has.
    for (const NameCode* row = table; row->name != nullptr; ++row) {
        if (row->code <= highestNumber * scale && SameIgnoringCase(name, length, row->name)) return row->code;
    }
    return -1;
}

// Reads one term at `*at`, which is no blank, into `out` at texts[`*used`];
// false with the reason in `e`.
bool ReadTerm(const char** at, Filter* out, size_t* used, BoundedText* e) {
    const char* p = *at;
    FilterTerm term = {kTermText, false, 0, 0, 0};
    if (*p == '-') {
        term.negated = true;
        p++;
        if (EndsWord(p)) return Refuse(e, kDashAlone);
        if (*p == '-') return Refuse(e, kDoubleDash, {*at, WordEnd(p)});
    }
    const char* keyStart = p;
    const KeyRule* key = nullptr;
    while (IsAsciiLetter(static_cast<unsigned char>(*p))) p++;
    if (p > keyStart && *p == ':') {
        for (const KeyRule& rule : kKeys) {
            if (SameIgnoringCase(keyStart, static_cast<size_t>(p - keyStart), rule.name)) key = &rule;
        }
        if (key == nullptr) return Refuse(e, kUnknownKey, {keyStart, p}, {keyStart, WordEnd(p)});
        p++;
        const bool exact = *p == '=';
        if (exact) p++;
        term.kind = exact ? key->equals : key->contains;
    } else {
        p = keyStart;
    }

    // The value, unquoted into the texts. It cannot outgrow them: each
    // term's text and NUL take no more bytes than its source and the blank
    // after it, and the expression is shorter than the texts.
    char* value = out->texts + *used;
    size_t length = 0;
    const char* valueStart = p;
    const bool quoted = *p == '"';
    if (quoted) {
        for (p++;;) {
            if (*p == '\0') return Refuse(e, kUnclosedQuote, {*at, p});
            if (*p == '"' && p[1] != '"') break;
            // "" inside quotes is one literal quote.
            const size_t n = *p == '"' ? 1 : CharBytes(p);
            memcpy(value + length, p, n);
            length += n;
            p += *p == '"' ? 2 : n;
        }
        p++;
    }
    for (; !EndsWord(p); p += CharBytes(p)) {
        // Nothing may follow a closing quote in the same word.
        if (*p == '"' || quoted) return Refuse(e, kQuoteInWord, {*at, WordEnd(p)});
        const size_t n = CharBytes(p);
        memcpy(value + length, p, n);
        length += n;
    }
    if (length == 0) return key ? Refuse(e, kEmptyValue, {keyStart, valueStart}) : Refuse(e, kEmptyPhrase);
    if (out->termCount == kMaxFilterTerms) return Refuse(e, kTooManyTerms);

    if (term.kind == kTermSeverityAtLeast || term.kind == kTermSeverityEquals || term.kind == kTermFacility) {
        const bool severity = term.kind != kTermFacility;
        term.code = severity ? LookUpCode(SeverityNames, 7, 1, value, length)
                             : LookUpCode(FacilityNames, 31, 8, value, length);
        if (term.code < 0) {
            return Refuse(e, severity ? kUnknownSeverity : kUnknownFacility, {keyStart, valueStart},
                          {value, value + length});
        }
    } else {
        value[length] = '\0';
        term.text = static_cast<unsigned short>(*used);
        term.length = static_cast<unsigned short>(length);
        *used += length + 1;
    }
    out->terms[out->termCount++] = term;
    *at = p;
    return true;
}

// A term being written for AppendFilterTerm: bytes beyond kMaxFilterText
// are counted, not written, and refuse the term.
struct TermText {
    char* out;  // kMaxFilterText bytes
    size_t length;
};

void Put(TermText* t, char c) {
    if (t->length < kMaxFilterText) t->out[t->length] = c;
    t->length++;
}

// Where `pattern` (`n` bytes) first starts in `text`, or -1.
int FindIn(const char* text, size_t textLength, const char* pattern, size_t n, const LeadBytes* leadBytes) {
    if (text == nullptr || n > textLength) return -1;
    const int length = textLength > INT_MAX ? INT_MAX : static_cast<int>(textLength);
    return FindText(text, length, pattern, 0, 0, 0, leadBytes).start;
}

// The same in a NUL-terminated text; `whole`: only a match that is all of it.
int FindIn(const char* text, const char* pattern, size_t n, bool whole, const LeadBytes* leadBytes) {
    const size_t length = text ? strlen(text) : 0;
    return whole && length != n ? -1 : FindIn(text, length, pattern, n, leadBytes);
}

bool TermHolds(const Filter* filter, const FilterTerm& term, const FilterFields* fields,
               const LeadBytes* leadBytes) {
    const char* value = filter->texts + term.text;
    switch (term.kind) {
        case kTermText:
            return FindIn(fields->text, fields->textLength, value, term.length, leadBytes) >= 0;
        case kTermHostContains:
            return FindIn(fields->host, value, term.length, false, leadBytes) >= 0;
        case kTermHostEquals:
            return FindIn(fields->host, value, term.length, true, leadBytes) == 0;
        case kTermFromStarts:
            return FindIn(fields->from, value, term.length, false, leadBytes) == 0;
        case kTermFromEquals:
            return FindIn(fields->from, value, term.length, true, leadBytes) == 0;
        case kTermSeverityAtLeast:
            return fields->hasPri && fields->severity <= term.code;
        case kTermSeverityEquals:
            return fields->hasPri && fields->severity == term.code;
        case kTermFacility:
            return fields->hasPri && fields->facility == term.code;
    }
    return false;
}

}  // namespace

bool ParseFilter(const char* expression, Filter* filter, char* error, size_t errorSize) {
    BoundedText e = {error, errorSize, 0, false};
    if (errorSize > 0) error[0] = '\0';
    size_t length = 0;
    while (length < kMaxFilterText && expression[length] != '\0') length++;
    if (length == kMaxFilterText) return Refuse(&e, kTooLong);
    // Parsed aside: a refused expression leaves the filter in force as it is.
    Filter parsed;
    parsed.termCount = 0;
    size_t used = 0;
    for (const char* p = expression;;) {
        while (size_t n = BlankBytes(p)) p += n;
        if (*p == '\0') break;
        if (!ReadTerm(&p, &parsed, &used, &e)) return false;
    }
    memcpy(filter, &parsed, sizeof parsed);
    return true;
}

bool FilterIsEmpty(const Filter* filter) {
    return filter->termCount == 0;
}

bool FilterMatches(const Filter* filter, const FilterFields* fields, const LeadBytes* leadBytes) {
    for (int i = 0; i < filter->termCount; i++) {
        const FilterTerm& term = filter->terms[i];
        if (TermHolds(filter, term, fields, leadBytes) == term.negated) return false;
    }
    return true;
}

bool AppendFilterTerm(char* expression, size_t size, const char* key, bool exact, bool negated,
                      const char* value) {
    const void* end = memchr(expression, '\0', size);
    if (end == nullptr) return false;
    const size_t length = static_cast<size_t>(static_cast<const char*>(end) - expression);

    // The term, with a space before it where the expression needs one. The
    // value is quoted when a blank or a quote is in it, or when it starts
    // with "=", which would make "key:" exact.
    char term[kMaxFilterText];
    TermText t = {term, 0};
    if (length > 0 && BlankBytes(expression + length - 1) == 0) Put(&t, ' ');
    const size_t termStart = t.length;
    bool quote = *value == '\0' || *value == '=';
    for (const char* p = value; *p != '\0' && !quote; p += CharBytes(p))
        quote = *p == '"' || BlankBytes(p) != 0;
    if (negated) Put(&t, '-');
    for (const char* k = key; *k != '\0'; k++) Put(&t, *k);
    Put(&t, ':');
    if (exact) Put(&t, '=');
    if (quote) Put(&t, '"');
    for (const char* p = value; *p != '\0'; p++) {
        Put(&t, *p);
        if (*p == '"') Put(&t, '"');
    }
    if (quote) Put(&t, '"');
    if (t.length > kMaxFilterText - 1 || length + t.length + 1 > size) return false;
    term[t.length] = '\0';

    // A term that names no key or no name would turn the whole filter bad;
    // a filter in force must not turn bad by one more term.
    Filter check;
    if (!ParseFilter(term + termStart, &check, nullptr, 0) || check.termCount != 1) return false;
    if (ParseFilter(expression, &check, nullptr, 0)) {
        if (length + t.length > kMaxFilterText - 1) return false;
        char joined[kMaxFilterText];
        memcpy(joined, expression, length);
        memcpy(joined + length, term, t.length + 1);
        if (!ParseFilter(joined, &check, nullptr, 0)) return false;
    }
    memcpy(expression + length, term, t.length + 1);
    return true;
}
