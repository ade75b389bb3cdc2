// Tests of the log file's backlog: sequences of appends and writes (short
// ones included) on small bounds, with the invariant check after every
// operation, against the lines that must reach the file and those lost.
#include "logfile/log_backlog.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// Line i of `length` bytes: its number in the first four bytes (when there
// is room), then letters, CR LF inside, and CR LF at the end.
std::string Line(unsigned i, size_t length) {
    std::string s(length, '\0');
    for (size_t j = 0; j < length; j++) s[j] = j < 4 ? static_cast<char>(i >> (8 * j)) : "ab\r\ncd"[j % 6];
    if (length >= 6) s.replace(length - 2, 2, "\r\n");
    return s;
}

// The backlog, its writer's file and the lines appended so far.
struct Fixture {
    LogBacklog b;
    std::string file;
    std::vector<std::string> lines;

    Fixture(size_t ring, size_t run, bool timed = false) {
        EXPECT_TRUE(MakeLogBacklog(&b, ring, run, timed));
    }
    ~Fixture() { FreeLogBacklog(&b); }

    // A line timed `when` (kept only by a timed backlog).
    void Append(size_t length, long long when = 0) {
        lines.push_back(Line(static_cast<unsigned>(lines.size()), length));
        AppendLogLine(&b, lines.back().data(), length, when);
        ASSERT_EQ(nullptr, CheckLogBacklog(&b));
    }
    // One write of at most `most` bytes, of a run of lines of one minute
    // when `minutes`; false when nothing waited.
    bool Write(size_t most, bool minutes = false) {
        const char* bytes;
        size_t length;
        long long when = 0;
        long long from = NextLogTime(&b, &when) && minutes ? when - when % 60 : LLONG_MIN;
        if (!NextLogRunWithin(&b, from, minutes ? from + 60 : LLONG_MAX, &bytes, &length)) return false;
        size_t count = length < most ? length : most;
        file.append(bytes, count);
        LogRunWritten(&b, count);
        EXPECT_EQ(nullptr, CheckLogBacklog(&b));
        return true;
    }
    void Drain(size_t most) {
        while (Write(most)) continue;
        EXPECT_TRUE(LogBacklogEmpty(&b));
    }
    std::string Expected(const std::vector<unsigned>& inFile) const {
        std::string all;
        for (unsigned i : inFile) all += lines[i];
        return all;
    }
};

struct SequenceCase {
    size_t ring, run;
    const char* steps;  // "aN": append a line of N bytes; "wN": a write of at most N bytes
    std::vector<unsigned> inFile;
    unsigned long long lost;
};

TEST(LogBacklog, SequencesKeepWholeLinesInOrderAndDropTheOldest) {
    const SequenceCase cases[] = {
        {64, 64, "a5 a7 a3", {0, 1, 2}, 0},
        {64, 64, "a5 w0 w2 w0 a9 w1", {0, 1}, 0},             // failed and short writes resume
        {32, 32, "a10 a10 a10", {1, 2}, 1},                   // each line takes its length and 4
        {32, 32, "a4 a4 a4 a20", {2, 3}, 2},                  // as many of the oldest as needed, no more
        {32, 32, "a28", {0}, 0},                              // the whole bound
        {32, 32, "a5 a29 a5", {0, 2}, 1},                     // larger than the bound: only that line is lost
        {64, 8, "a9 a8", {1}, 1},                             // longer than a run can take
        {32, 32, "a10 a10 w3 a10 a10 a10", {0, 1, 3, 4}, 1},  // lines on their way are never dropped
        {16, 3, "a3 a3 w3 a2", {0, 1, 2}, 0},                 // a length wraps round the ring's end
        {16, 4, "a4 a3 w4 a3 w1 a2", {0, 1, 2, 3}, 0},        // split elsewhere
        {16, 2, "a2 a1 w2 a2", {0, 1, 2}, 0},                 // a line's bytes wrap
        {20, 6, "a6 a6 w6 a6 a6", {0, 2, 3}, 1},              // the oldest kept is dropped, not a newer one
    };
    for (const SequenceCase& c : cases) {
        SCOPED_TRACE(c.steps);
        Fixture f(c.ring, c.run);
        for (const char* p = c.steps; *p;) {
            char op = *p++;
            size_t n = strtoul(p, const_cast<char**>(&p), 10);
            if (op == 'a') f.Append(n);
            if (op == 'w') f.Write(n);
            while (*p == ' ') p++;
        }
        f.Drain(1000);
        EXPECT_EQ(f.Expected(c.inFile), f.file);
        unsigned long long written, lost;
        TakeLogCounts(&f.b, &written, &lost);
        EXPECT_EQ(c.inFile.size(), written);
        EXPECT_EQ(c.lost, lost);
        EXPECT_EQ(0u, f.b.linesWritten + f.b.linesLost);  // taken, so counted afresh
    }
}

TEST(LogBacklog, WritesOfEveryLengthResumeWhereTheyStopped) {
    const size_t lengths[] = {5, 1, 9, 3, 7, 12};
    size_t total = 0;
    for (size_t n : lengths) total += n;
    for (size_t most = 1; most <= total; most++) {
        SCOPED_TRACE(most);
        Fixture f(64, 16);  // the 16-byte run holds two or three lines at a time
        for (size_t i = 0; i < 3; i++) f.Append(lengths[i]);
        f.Write(most);  // the rest arrives after a write has begun
        for (size_t i = 3; i < 6; i++) f.Append(lengths[i]);
        f.Drain(most);
        EXPECT_EQ(f.Expected({0, 1, 2, 3, 4, 5}), f.file);
        EXPECT_EQ(6u, f.b.linesWritten);
        EXPECT_EQ(0u, f.b.linesLost);
    }
}

TEST(LogBacklog, ARunTakesAtMostItsLineCount) {
    Fixture f(20000, 5000);
    for (int i = 0; i < kLogRunLines + 6; i++) f.Append(1);
    f.Write(5000);
    EXPECT_EQ(size_t(kLogRunLines), f.file.size());
}

// Random appends and short writes on small rings, so that lengths and bytes
// wrap round the ring's end in every position: the file must still be whole
// lines in the order they came, and every line written or counted lost.
TEST(LogBacklog, RandomSequencesOnSmallRings) {
    unsigned state = 12345;
    auto next = [&state](unsigned range) {
        state = state * 1103515245u + 12345u;
        return (state >> 16) % range;
    };
    for (int round = 0; round < 600; round++) {
        bool timed = round % 2 == 1;  // with times, and runs cut at each minute
        Fixture f((timed ? 17 : 9) + next(60), 4 + next(40), timed);
        for (int step = 0; step < 200; step++) {
            if (next(3) == 0)
                f.Write(next(20), timed);
            else
                f.Append(4 + next(36), step * 7);
        }
        f.Drain(1 + next(20));
        size_t at = 0, found = 0;
        for (const std::string& line : f.lines) {
            if (f.file.compare(at, line.size(), line) != 0)
                continue;  // lines differ in their first four bytes
            at += line.size();
            found++;
        }
        ASSERT_EQ(f.file.size(), at) << "round " << round << ": the file is not whole lines in order";
        EXPECT_EQ(found, f.b.linesWritten);
        EXPECT_EQ(f.lines.size() - found, f.b.linesLost);
    }
}

}  // namespace
