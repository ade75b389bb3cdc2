// The filter language as a table: each expression against the same five
// entries (which of them it keeps) or the reason it is refused; then the
// context menu's terms, appended, parsed back and matched against what they
// name.
#include "syslog/filter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/cp932_lead_bytes.h"
#include "tests/test_texts.h"

namespace {

struct Entry {
    std::string host, from, text;
    bool hasPri;
    int facility, severity;
};

FilterFields FieldsOf(const Entry& e) {
    return {e.host.c_str(), e.from.c_str(), e.text.c_str(), e.text.size(), e.hasPri, e.facility, e.severity};
}

const std::string kDiskFull = Sjis("ポート表示: ディスク使用率が90%を超えました");

const Entry kEntries[] = {
    {"core-sw1", "192.0.2.7:40123", "%LINK-3-UPDOWN: Interface Gi0/1, changed state to down", true, 184, 3},
    {"192.0.2.9", "192.0.2.9:514", "10:22:33 dhcpd: DHCPACK on 192.0.2.50", false, 0, 0},
    {"CORE-SW10", "192.0.2.70:514", "say \"hi\" to kernel", true, 0, 0},
    {"fw.example", "[2001:db8::7]:40123", kDiskFull, true, 24, 4},
    // ホスト; アイ debug: trail bytes that are the ASCII letters X, A and C.
    {Sjis("ホスト"), "192.0.2.7:5140", Sjis("アイ debug"), true, 8, 7},
};

std::string Kept(const Filter& filter) {
    const LeadBytes lead = CodePage932();
    std::string kept;
    for (const Entry& e : kEntries) {
        const FilterFields fields = FieldsOf(e);
        kept += FilterMatches(&filter, &fields, &lead) ? '1' : '0';
    }
    return kept;
}

std::string Repeated(const std::string& term, int count) {
    std::string s;
    for (int i = 0; i < count; i++) s += (i ? " " : "") + term;
    return s;
}

TEST(Filter, KeepsTheEntriesItsTermsNameOrSaysWhyNot) {
    const struct {
        std::string expression;
        const char* kept;   // one digit per entry; nullptr: refused
        const char* error;  // UTF-8 of a part of the reason
    } cases[] = {
        {"", "11111", nullptr},
        {"DOWN", "10000", nullptr},
        {"%LINK-3-UPDOWN:", "10000", nullptr},
        {"10:22:33", "01000", nullptr},
        {"\"changed state\" -kernel", "10000", nullptr},
        {"-down", "01111", nullptr},
        {"\"say \"\"hi\"\"\"", "00100", nullptr},
        {"\"host:core\"", "00000", nullptr},
        {"host:core", "10100", nullptr},
        {"HOST:=CORE-SW1", "10000", nullptr},
        {"-host:=core-sw1 -host:x", "01101", nullptr},
        {"from:192.0.2.7", "10101", nullptr},
        {"from:192.0.2.7:", "10001", nullptr},
        {"from:=192.0.2.7:40123", "10000", nullptr},
        {"from:[2001:DB8::", "00010", nullptr},
        {"sev:err", "10100", nullptr},
        {"sev:WARN", "10110", nullptr},
        {"sev:=error", "10000", nullptr},
        {"sev:emerg", "00100", nullptr},
        {"-sev:emerg", "11011", nullptr},
        {"-sev:debug", "01000", nullptr},
        {"fac:kern", "00100", nullptr},
        {"-fac:0", "11011", nullptr},
        {"fac:local7", "10000", nullptr},
        {"fac:=23", "10000", nullptr},
        {"Fac:Daemon sev:warning", "00010", nullptr},
        {Sjis("使用率 超え"), "00010", nullptr},
        {Sjis("ディスク　超え"), "00010", nullptr},
        {Sjis("\"ポート表示\""), "00010", nullptr},
        {Sjis("イ debug"), "00001", nullptr},
        {"\"C debug\"", "00000", nullptr},
        {Repeated("down", kMaxFilterTerms), "10000", nullptr},
        {std::string(kMaxFilterText - 5, ' ') + "down", "10000", nullptr},
        {"error: disk", nullptr, "不明なキー「error」です。文字列として探すには \"error:\" のように"},
        {"-http://x", nullptr, "不明なキー「http」"},
        {"sev:fatal", nullptr, "「sev:」の名前「fatal」が分かりません"},
        {"sev:none", nullptr, "「sev:」の名前「none」"},
        {"sev:=8", nullptr, "「sev:=」の名前「8」"},
        {"fac:32", nullptr, "「fac:」の名前「32」"},
        {"down host:", nullptr, "「host:」の値が空です。"},
        {"from:=\"\"", nullptr, "「from:=」の値が空です。"},
        {"\"\"", nullptr, "空の引用符"},
        {"down \"core sw", nullptr, "引用符が閉じていません: \"core sw"},
        {"ab\"c\"", nullptr, "語の初めと終わりにだけ置けます: ab\"c\""},
        {"host:\"a\"b", nullptr, "語の初めと終わりにだけ置けます: host:\"a\"b"},
        {"down -", nullptr, "「-」の後に条件がありません。"},
        {"--verbose", nullptr, "否定の「-」は一つだけです: --verbose"},
        {Repeated("down", kMaxFilterTerms + 1), nullptr, "条件が多すぎます"},
        {std::string(kMaxFilterText - 4, ' ') + "down", nullptr, "フィルターが長すぎます"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expression);
        Filter filter;
        memset(&filter, 0xA5, sizeof filter);
        const Filter before = filter;
        char error[kFilterErrorSize];
        const bool parsed = ParseFilter(c.expression.c_str(), &filter, error, sizeof error);
        ASSERT_EQ(parsed, c.kept != nullptr) << error;
        if (parsed) {
            EXPECT_EQ(Kept(filter), c.kept);
            EXPECT_EQ(FilterIsEmpty(&filter), c.expression.find_first_not_of(" \t") == std::string::npos);
        } else {
            EXPECT_NE(std::string(error).find(Sjis(c.error)), std::string::npos) << error;
            EXPECT_EQ(memcmp(&filter, &before, sizeof filter), 0) << "a refused filter is left as it was";
        }
    }
}

// Each term from the menu parses back alone and keeps exactly what it names;
// a term that would not fit or not parse leaves the expression as it was.
TEST(Filter, AppendsTermsThatParseBackAndNameTheirValue) {
    const LeadBytes lead = CodePage932();
    const std::string full = Repeated("x", kMaxFilterTerms), wide = Sjis("ホスト　1");
    const struct {
        std::string start;
        size_t size;
        const char* key;
        bool exact, negated;
        std::string value, other;  // `other`: a value the term must tell apart
        std::string appended;      // the expression after it; "": refused
    } cases[] = {
        {"", kMaxFilterText, "host", true, false, "core sw 1", "core sw 10", "host:=\"core sw 1\""},
        {"down", kMaxFilterText, "host", true, true, "say \"hi\"", "say hi",
         "down -host:=\"say \"\"hi\"\"\""},
        {"down ", kMaxFilterText, "host", false, false, "=eq", "eq", "down host:\"=eq\""},
        {"-x", kMaxFilterText, "host", true, false, wide, Sjis("ホスト"), "-x host:=\"" + wide + "\""},
        {"x\x81", kMaxFilterText, "host", true, false, "ab\x81", "ab\x81\x40", "x\x81 host:=ab\x81"},
        {"", kMaxFilterText, "from", true, false, "[2001:db8::7]:40123", "[2001:db8::7]:4012",
         "from:=[2001:db8::7]:40123"},
        {"host:x", kMaxFilterText, "sev", false, false, "warn", "", "host:x sev:warn"},
        {"down", kMaxFilterText, "host", false, false, "", "", ""},
        {"down", kMaxFilterText, "bogus", false, false, "x", "", ""},
        {"down", kMaxFilterText, "sev", false, false, "fatal", "", ""},
        {"down", 16, "host", false, false, "core-sw1", "", ""},
        {full, kMaxFilterText, "host", false, false, "x", "", ""},
        {std::string(kMaxFilterText - 7, 'd'), kMaxFilterText, "host", false, false, "x", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.start + " + " + c.key + ":" + c.value);
        char expression[kMaxFilterText];
        strcpy(expression, c.start.c_str());
        ASSERT_EQ(AppendFilterTerm(expression, c.size, c.key, c.exact, c.negated, c.value.c_str()),
                  !c.appended.empty());
        EXPECT_EQ(std::string(expression), c.appended.empty() ? c.start : c.appended);
        if (c.other.empty()) continue;
        Filter filter;
        ASSERT_TRUE(ParseFilter(expression + c.start.size(), &filter, nullptr, 0));
        ASSERT_EQ(filter.termCount, 1);
        for (const std::string* value : {&c.value, &c.other}) {
            const FilterFields fields = {value->c_str(), value->c_str(), "", 0, false, 0, 0};
            EXPECT_EQ(FilterMatches(&filter, &fields, &lead), (value == &c.value) != c.negated) << *value;
        }
    }
}

}  // namespace
