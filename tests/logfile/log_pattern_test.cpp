// Tests of the log file's name pattern: the names it gives at given times
// (and so when a new file starts), and which existing names the retention
// takes for its own and deletes on a given day. The refused patterns are
// the command line's tests.
#include "logfile/log_pattern.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

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
        {"logs\\%Y-%m-%d.log", {2025, 1, 1, 0}, "logs\\2025-01-01.log", true},
        {"%Y\\%m\\%d-%H.txt", {2025, 1, 1, 0}, "2025\\01\\01-00.txt", true},
        {"%Y\\%m\\%d-%H.txt", {2025, 1, 1, 9}, "2025\\01\\01-09.txt", true},
        {"month-%Y%m", {999, 12, 31, 23}, "month-099912", true},
        {"month-%Y%m", {999, 12, 1, 0}, "month-099912", false},
        {"100%%-%d", {2025, 2, 7, 0}, "100%-07", true},
        {"messages", {2031, 6, 1, 5}, "messages", true},
    };
    std::string last;
    for (const auto& s : steps) {
        char name[64];
        ASSERT_TRUE(ExpandLogPattern(s.pattern, s.at, name, sizeof name)) << s.pattern;
        EXPECT_STREQ(s.name, name);
        EXPECT_EQ(s.starts, last != name) << s.pattern << " at " << s.name;
        last = name;
        EXPECT_TRUE(MatchLogPattern(s.pattern, strlen(s.pattern), name, strlen(name), nullptr)) << name;
    }
    char small[8] = "x";
    EXPECT_FALSE(ExpandLogPattern("%Y-%m-%d", {2024, 3, 14, 9}, small, sizeof small));
    EXPECT_STREQ("", small);
    EXPECT_TRUE(ExpandLogPattern("%Y-%m", {2024, 3, 14, 9}, small, sizeof small));
    EXPECT_FALSE(ExpandLogPattern("%Y-%q", {2024, 3, 14, 9}, small, sizeof small));
}

// On 14 March 2024 with 10 days kept: the names of the pattern whose last
// day lies before 4 March go, everything else stays.
TEST(LogPattern, RetentionDeletesOnlyOldNamesOfThePattern) {
    const struct {
        const char* pattern;
        const char* name;
        bool deleted;
    } cases[] = {
        {"%Y-%m-%d.log", "2024-03-03.log", true},
        {"%Y-%m-%d.log", "2024-03-04.log", false},  // exactly 10 days before
        {"%Y-%m-%d.log", "2024-03-20.log", false},  // in the future
        {"%Y-%m-%d.log", "2024-03-03.log.bak", false},
        {"%Y-%m-%d.log", "x2024-03-03.log", false},
        {"%Y-%m-%d.log", "2024-3-03.log", false},  // digits of the wrong count
        {"%Y-%m-%d.log", "2024-03-0a.log", false},
        {"%Y-%m-%d.log", "2024-02-30.log", false},  // no such day
        {"%Y-%m-%d.log", "0000-01-01.log", false},
        {"%Y-%m-%d.log", "2024-03-03.LOG", false},  // the pattern's bytes exactly
        {"logs\\%Y\\%m%d", "logs\\2024\\0101", true},
        {"logs\\%Y\\%m%d", "logs/2024\\0101", false},
        {"%Y%m%d-%H", "20240303-24", false},
        {"%d-%d.log", "03-04.log", false},   // a field twice: both the same
        {"%Y-%m.log", "2024-02.log", true},  // its last day, 29 February, is 14 days ago
        {"%Y-%m.log", "2024-03.log", false},
        // Without a year, a name stands for its latest date up to today.
        {"%m-%d.log", "03-15.log", true},  // 15 March 2023
        {"%m-%d.log", "03-14.log", false},
        {"%H.log", "07.log", false},
        {"100%%-%Y%m%d", "100%-20240101", true},
        {"100%%-%Y%m%d", "100%%-20240101", false},
    };
    for (const auto& c : cases) {
        LogDate named = {};
        bool ours = MatchLogPattern(c.pattern, strlen(c.pattern), c.name, strlen(c.name), &named);
        EXPECT_EQ(c.deleted, ours && LogDateExpired(named, {2024, 3, 14, 9}, 10))
            << c.pattern << " " << c.name;
    }
    // One folder of a path against its part of the pattern.
    const char* folders = "logs\\%Y\\%m%d";
    EXPECT_TRUE(MatchLogPattern(folders + 5, 2, "2024", 4, nullptr));
    // Nothing past today with 0 days; nothing expires without retention.
    EXPECT_TRUE(LogDateExpired({2024, 3, 13, 0}, {2024, 3, 14, 0}, 0));
    EXPECT_FALSE(LogDateExpired({1970, 1, 1, 0}, {2024, 3, 14, 0}, kKeepEveryDay));
    EXPECT_TRUE(LogDateExpired({1, 1, 1, 0}, {9999, 12, 31, 0}, 3000000));
}

}  // namespace
