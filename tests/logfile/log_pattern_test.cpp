// Tests of the log file's name pattern: which patterns are refused, the names
// it gives at given times (and so when a new file starts), and which existing
// names the retention takes for its own and deletes on a given day.
#include "logfile/log_pattern.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(LogPattern, CheckNamesTheBadField) {
    const struct {
        const char* pattern;
        LogPatternKind kind;
        size_t badAt;
    } cases[] = {
        {"messages", kPatternPlain, 0},
        {"C:\\logs\\messages.log", kPatternPlain, 0},
        {"100%%.log", kPatternUndated, 0},
        {"%Y", kPatternDated, 0},
        {"logs\\%Y-%m-%d.log", kPatternDated, 0},
        {"%%%H", kPatternDated, 0},
        {"%q.log", kPatternUnknownField, 0},
        {"a%y", kPatternUnknownField, 1},  // fields are case-sensitive
        {"%Y-%M", kPatternUnknownField, 3},
        {"%Y%", kPatternLonePercent, 2},
        {"%%%", kPatternLonePercent, 2},
        {"100%", kPatternLonePercent, 3},
    };
    for (const auto& c : cases) {
        size_t at = 99;
        EXPECT_EQ(c.kind, CheckLogPattern(c.pattern, &at)) << c.pattern;
        if (c.kind > kPatternDated) {
            EXPECT_EQ(c.badAt, at) << c.pattern;
        }
    }
}

// Expanded at a sequence of times: the name each gives, and whether a new
// file starts there (its name differs from the one before).
TEST(LogPattern, ExpansionAndWhenANewFileStarts) {
    const struct {
        const char* pattern;
        LogDate at;
        const char* name;
        bool starts;
    } steps[] = {
        {"logs\\%Y-%m-%d.log", {2024, 3, 14, 9}, "logs\\2024-03-14.log", true},
        {"logs\\%Y-%m-%d.log", {2024, 3, 14, 23}, "logs\\2024-03-14.log", false},
        {"logs\\%Y-%m-%d.log", {2024, 3, 15, 0}, "logs\\2024-03-15.log", true},
        {"logs\\%Y-%m-%d.log", {2025, 1, 1, 0}, "logs\\2025-01-01.log", true},
        {"%Y\\%m\\%d-%H.txt", {2025, 1, 1, 0}, "2025\\01\\01-00.txt", true},
        {"%Y\\%m\\%d-%H.txt", {2025, 1, 1, 9}, "2025\\01\\01-09.txt", true},
        {"%Y\\%m\\%d-%H.txt", {2025, 1, 1, 9}, "2025\\01\\01-09.txt", false},
        {"%Y\\%m\\%d-%H.txt", {2025, 12, 31, 23}, "2025\\12\\31-23.txt", true},
        {"month-%Y%m", {2025, 12, 31, 23}, "month-202512", true},
        {"month-%Y%m", {2025, 12, 1, 0}, "month-202512", false},
        {"month-%Y%m", {999, 2, 1, 0}, "month-099902", true},
        {"100%%-%d", {2025, 2, 7, 0}, "100%-07", true},
        {"messages", {2025, 2, 7, 0}, "messages", true},
        {"messages", {2031, 6, 1, 5}, "messages", false},
    };
    std::string last;
    for (const auto& s : steps) {
        char name[64];
        ASSERT_TRUE(ExpandLogPattern(s.pattern, s.at, name, sizeof name)) << s.pattern;
        EXPECT_STREQ(s.name, name);
        EXPECT_EQ(s.starts, last != name) << s.pattern << " at " << s.name;
        last = name;
        LogDate back;
        EXPECT_TRUE(MatchLogPattern(s.pattern, strlen(s.pattern), name, strlen(name), &back)) << name;
    }
    char small[8] = "x";
    EXPECT_FALSE(ExpandLogPattern("%Y-%m-%d", {2024, 3, 14, 9}, small, sizeof small));
    EXPECT_STREQ("", small);
    EXPECT_TRUE(ExpandLogPattern("%Y-%m", {2024, 3, 14, 9}, small, sizeof small));
    EXPECT_FALSE(ExpandLogPattern("%Y-%q", {2024, 3, 14, 9}, small, sizeof small));
    EXPECT_STREQ("", small);
}

// On 14 March 2024 with 10 days kept: the names of the pattern dated before
// 4 March go, everything else stays.
TEST(LogPattern, RetentionDeletesOnlyOldNamesOfThePattern) {
    const LogDate today = {2024, 3, 14, 9};
    const struct {
        const char* pattern;
        const char* name;
        bool deleted;
    } cases[] = {
        {"%Y-%m-%d.log", "2024-03-03.log", true},
        {"%Y-%m-%d.log", "2024-03-04.log", false},  // exactly 10 days before
        {"%Y-%m-%d.log", "2024-03-14.log", false},
        {"%Y-%m-%d.log", "2024-03-20.log", false},  // in the future
        {"%Y-%m-%d.log", "2023-12-31.log", true},
        {"%Y-%m-%d.log", "2024-03-03.log.bak", false},
        {"%Y-%m-%d.log", "x2024-03-03.log", false},
        {"%Y-%m-%d.log", "2024-3-03.log", false},  // digits of the wrong count
        {"%Y-%m-%d.log", "2024-03-003.log", false},
        {"%Y-%m-%d.log", "2024-03-0a.log", false},
        {"%Y-%m-%d.log", "2024-02-30.log", false},  // no such day
        {"%Y-%m-%d.log", "2024-13-01.log", false},
        {"%Y-%m-%d.log", "0000-01-01.log", false},
        {"%Y-%m-%d.log", "2024-03-03.LOG", false},  // the pattern's bytes exactly
        {"%Y-%m-%d.log", "messages", false},
        {"%Y-%m-%d.log", "", false},
        {"logs\\%Y\\%m%d", "logs\\2024\\0101", true},
        {"logs\\%Y\\%m%d", "logs/2024\\0101", false},
        {"%Y%m%d-%H", "20240303-23", true},
        {"%Y%m%d-%H", "20240303-24", false},
        {"%d-%d.log", "03-03.log", true},  // a field twice: both the same
        {"%d-%d.log", "03-04.log", false},
        {"%Y-%m.log", "2024-02.log", true},  // February's last day is 14 days ago
        {"%Y-%m.log", "2024-03.log", false},
        {"%Y.log", "2023.log", true},
        {"%Y.log", "2024.log", false},
        // Without a year, a name stands for its latest date up to today.
        {"%m-%d.log", "03-03.log", true},
        {"%m-%d.log", "03-14.log", false},
        {"%m-%d.log", "03-15.log", true},  // 15 March 2023
        {"%m-%d.log", "02-29.log", true},  // 29 February 2024
        {"%H.log", "07.log", false},
        {"%H.log", "24.log", false},
        {"100%%-%Y%m%d", "100%-20240101", true},
        {"100%%-%Y%m%d", "100%%-20240101", false},
    };
    for (const auto& c : cases) {
        LogDate named = {};
        bool ours = MatchLogPattern(c.pattern, strlen(c.pattern), c.name, strlen(c.name), &named);
        EXPECT_EQ(c.deleted, ours && LogDateExpired(named, today, 10)) << c.pattern << " " << c.name;
    }
    // A part of the pattern matches a part of a path (one folder at a time).
    const char* pattern = "logs\\%Y\\%m%d";
    EXPECT_TRUE(MatchLogPattern(pattern + 5, 2, "2024", 4, nullptr));
    EXPECT_FALSE(MatchLogPattern(pattern + 5, 2, "24", 2, nullptr));
    // Nothing is kept past today with 0 days; nothing expires without retention.
    EXPECT_TRUE(LogDateExpired({2024, 3, 13, 0}, today, 0));
    EXPECT_FALSE(LogDateExpired({2024, 3, 14, 0}, today, 0));
    EXPECT_FALSE(LogDateExpired({1970, 1, 1, 0}, today, -1));
    EXPECT_FALSE(LogDateExpired({1970, 1, 1, 0}, today, 2147483647));
    EXPECT_TRUE(LogDateExpired({1, 1, 1, 0}, {9999, 12, 31, 0}, 3000000));
}

}  // namespace
