// Tests of the log file's writer on real files and pipes: a directory in the
// file's place, a reader that stops reading (the write hangs, the backlog
// overflows) and a reader that goes away and comes back, a file renamed
// while open, dated files with their retention. Lines keep their order,
// none is doubled or cut, and the status lines say what happened with exact
// counts.
#include "logfile/log_file.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <vector>

#include "logfile/log_status.h"

namespace {

class LogFileTest : public ::testing::Test {
   protected:
    LogFile log = {};
    std::mutex lock;  // the status lines arrive on the writer thread
    std::vector<std::string> statuses;
    // In the test's working directory, named for the process: tests may run side by side.
    const std::string file = "log_file_test_" + std::to_string(GetCurrentProcessId());

    void TearDown() override {
        CloseLogFile(&log);
        DeleteFileA(file.c_str());
        RemoveDirectoryA(file.c_str());
    }

    // As the entry sink does: the status line is kept among the lines.
    static void StatusLine(void* context, const char* text) {
        LogFileTest* test = static_cast<LogFileTest*>(context);
        std::lock_guard<std::mutex> hold(test->lock);
        test->statuses.push_back(text);
        test->Line(std::string(text) + "\r\n");
    }

    void Open(const std::string& path, size_t backlogBytes) {
        ASSERT_TRUE(OpenLogFile(&log, path.c_str(), kKeepEveryDay, backlogBytes, StatusLine, this));
    }

    void Line(const std::string& line) { WriteLogLine(&log, line.data(), line.size(), time(nullptr)); }

    // Waits (up to a minute: the writer retries every few seconds) for the
    // nth status line; "<none>" if it does not come.
    std::string WaitStatus(size_t n, int tries = 6000) {
        for (int i = 0; i < tries; ++i, Sleep(10)) {
            std::lock_guard<std::mutex> hold(lock);
            if (n < statuses.size()) return statuses[n];
        }
        return "<none>";
    }

    // A pipe whose reader (the test) reads only when asked to.
    HANDLE MakePipe(const std::string& path) {
        return CreateNamedPipeA(path.c_str(), PIPE_ACCESS_INBOUND, PIPE_TYPE_BYTE | PIPE_WAIT, 1, 4096, 4096,
                                0, nullptr);
    }

    // Keeps `line`, far longer than the pipe's buffer, and waits until the
    // writer hangs in writing it; false if it never starts.
    bool HangIn(HANDLE pipe, const std::string& line) {
        Line(line);
        DWORD available = 0;
        for (int i = 0; i < 6000 && available == 0; ++i) {
            Sleep(10);
            PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr);
        }
        return available > 0;
    }

    // Reads `pipe` until what was read ends with `tail` (or a minute passed).
    static std::string ReadUntil(HANDLE pipe, const std::string& tail) {
        std::string got;
        static char buffer[1 << 16];
        for (int i = 0; i < 12000; ++i) {
            DWORD available = 0, read = 0;
            if (PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) && available > 0 &&
                ReadFile(pipe, buffer, sizeof buffer, &read, nullptr))
                got.append(buffer, read);
            else
                Sleep(5);
            if (got.size() >= tail.size() && got.compare(got.size() - tail.size(), tail.size(), tail) == 0)
                break;
        }
        return got;
    }
};

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return in ? std::string(std::istreambuf_iterator<char>(in), {}) : "<no file>";
}

time_t LocalTime(int year, int month, int day, int hour, int minute, int second) {
    struct tm t = {};
    t.tm_year = year - 1900, t.tm_mon = month - 1, t.tm_mday = day;
    t.tm_hour = hour, t.tm_min = minute, t.tm_sec = second, t.tm_isdst = -1;
    return mktime(&t);
}

std::string Reason(DWORD error) {
    char text[kLogReasonSize];
    DescribeSystemError(error, text, sizeof text);
    return text;
}

std::string Failure(const std::string& path, DWORD error) {
    char text[1024];
    FormatLogFailure(path.c_str(), Reason(error).c_str(), text, sizeof text);
    return text;
}

std::string Resumed(unsigned long long delayed, unsigned long long lost) {
    char text[256];
    FormatLogResumed(delayed, lost, text, sizeof text);
    return text;
}

TEST_F(LogFileTest, DirectoryInTheFilesPlaceThenGone) {
    const std::string path = file;
    ASSERT_TRUE(CreateDirectoryA(path.c_str(), nullptr));
    Open(path, 1 << 16);
    Line("a\r\n");
    const std::string failure = Failure(path, ERROR_ACCESS_DENIED);
    EXPECT_EQ(failure, WaitStatus(0));
    char reason[kLogReasonSize];
    EXPECT_EQ(kLogStopped, GetLogFileState(&log, reason, sizeof reason));
    EXPECT_EQ(Reason(ERROR_ACCESS_DENIED), reason);
    Line("b\r\n");
    Line("c\r\n");
    ASSERT_TRUE(RemoveDirectoryA(path.c_str()));
    // The open is tried again without any new line: a, the failure, b, c waited.
    EXPECT_EQ(Resumed(4, 0), WaitStatus(1));
    EXPECT_EQ(kLogWriting, GetLogFileState(&log, reason, sizeof reason));
    EXPECT_STREQ("", reason);
    CloseLogFile(&log);
    std::ifstream in(path, std::ios::binary);
    EXPECT_EQ("a\r\n" + failure + "\r\nb\r\nc\r\n" + Resumed(4, 0) + "\r\n",
              std::string(std::istreambuf_iterator<char>(in), {}));
}

// The writer's last write-out can end a stop: its status line still reaches
// the file, though the log file is closing.
TEST_F(LogFileTest, CloseEndsAStopWithItsResumedLine) {
    ASSERT_TRUE(CreateDirectoryA(file.c_str(), nullptr));
    Open(file, 1 << 16);
    Line("a\r\n");
    const std::string failure = Failure(file, ERROR_ACCESS_DENIED);
    EXPECT_EQ(failure, WaitStatus(0));
    ASSERT_TRUE(RemoveDirectoryA(file.c_str()));
    CloseLogFile(&log);  // before the writer tries again
    EXPECT_EQ("a\r\n" + failure + "\r\n" + Resumed(2, 0) + "\r\n", ReadAll(file));
}

// Another program renames the open file: the writer notices before its next
// write (a second later) and goes on in a new file at the path.
TEST_F(LogFileTest, RenamedFileGivesANewFileAtThePath) {
    const std::string renamed = file + ".1";
    Open(file, 1 << 16);
    Line("1\r\n");
    Line("2\r\n");
    for (int i = 0; i < 500 && !LogFileIdle(&log); ++i) Sleep(10);
    ASSERT_TRUE(MoveFileA(file.c_str(), renamed.c_str())) << "the file is not shared for deletion";
    Sleep(1100);
    Line("3\r\n");
    CloseLogFile(&log);
    EXPECT_EQ("1\r\n2\r\n", ReadAll(renamed));
    EXPECT_EQ("3\r\n", ReadAll(file));
    DeleteFileA(renamed.c_str());
}

// A dated pattern: each line goes to the file its time names, and the
// first file to start deletes the pattern's old files, and nothing else,
// with a status line each.
TEST_F(LogFileTest, DatedFilesFollowTheLinesTimesAndOldOnesGo) {
    const std::string old = file + "_2000-01-01-10.log", kept[] = {old + ".bak", file + "_2000-01-01-1.log"};
    for (const std::string& name : {old, kept[0], kept[1]})
        std::ofstream(name, std::ios::binary) << "old\r\n";
    const std::string pattern = file + "_%Y-%m-%d-%H.log";
    ASSERT_TRUE(OpenLogFile(&log, pattern.c_str(), 2, 1 << 16, StatusLine, this));
    const struct {
        time_t when;
        const char* line;
        const char* file;
    } lines[] = {
        {LocalTime(2030, 6, 1, 10, 0, 5), "a\r\n", "2030-06-01-10"},
        {LocalTime(2030, 6, 1, 10, 59, 59), "b\r\n", "2030-06-01-10"},
        {LocalTime(2030, 6, 2, 0, 0, 0), "c\r\n", "2030-06-02-00"},
        {LocalTime(2030, 6, 1, 10, 0, 1), "d\r\n", "2030-06-01-10"},
    };
    for (const auto& l : lines) WriteLogLine(&log, l.line, strlen(l.line), l.when);
    const std::string deleted = WaitStatus(0);
    CloseLogFile(&log);
    EXPECT_EQ("a\r\nb\r\nd\r\n", ReadAll(file + "_2030-06-01-10.log"));
    EXPECT_EQ("c\r\n", ReadAll(file + "_2030-06-02-00.log"));
    char text[1024];
    FormatLogDeleted(old.c_str(), text, sizeof text);
    EXPECT_EQ(text, deleted);
    EXPECT_EQ(1u, statuses.size());
    EXPECT_EQ("<no file>", ReadAll(old));
    for (const std::string& name : kept) EXPECT_EQ("old\r\n", ReadAll(name));
    // The status line went to the file of its own time.
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((file + "_*").c_str(), &found);
    for (bool more = find != INVALID_HANDLE_VALUE; more; more = FindNextFileA(find, &found))
        DeleteFileA(found.cFileName);
    if (find != INVALID_HANDLE_VALUE) FindClose(find);
}

// A pipe whose reader stops reading: the write hangs, the lines keep coming,
// and the backlog drops its oldest. Then the reader goes away (the write
// fails) and a new one comes (the writer opens the pipe again).
TEST_F(LogFileTest, HangingWriteOverflowThenBrokenPipe) {
    const std::string path = "\\\\.\\pipe\\log_file_test_" + std::to_string(GetCurrentProcessId());
    HANDLE pipe = MakePipe(path);
    ASSERT_NE(INVALID_HANDLE_VALUE, pipe);
    Open(path, 256 << 10);
    const std::string first = "0 " + std::string(200000, 'x') + "\r\n";
    ASSERT_TRUE(HangIn(pipe, first)) << "the writer never started writing";
    // These return at once however long the write hangs (else the test hangs).
    const int kLines = 600;
    auto numbered = [](int n) { return std::to_string(n) + " " + std::string(1000, 'a' + n % 26) + "\r\n"; };
    for (int n = 1; n <= kLines; ++n) Line(numbered(n));

    const std::string failure = Failure(path, ERROR_TIMEOUT);
    std::string got = ReadUntil(pipe, ")\r\n");  // the resumed line's end
    ASSERT_EQ(first, got.substr(0, first.size()));
    // Then the newest lines that the backlog kept, whole and in order, the
    // failure and the resumed line: everything between was dropped.
    size_t at = first.size();
    int kept = 0, next = 0;
    while (got.compare(at, failure.size(), failure) != 0) {
        size_t end = got.find("\r\n", at);
        ASSERT_NE(std::string::npos, end) << "no failure line";
        int n = atoi(got.c_str() + at);
        if (kept++ == 0) next = n;
        ASSERT_EQ(next++, n) << "lines out of order";
        ASSERT_EQ(numbered(n), got.substr(at, end + 2 - at));
        at = end + 2;
    }
    EXPECT_EQ(kLines + 1, next) << "the newest line is missing";
    EXPECT_GT(kLines - kept, 0) << "nothing was dropped: the write did not hang";
    const std::string resumed = Resumed(kept + 1, kLines - kept);
    EXPECT_EQ(failure + "\r\n" + resumed + "\r\n", got.substr(at));
    EXPECT_EQ(resumed, WaitStatus(1));

    CloseHandle(pipe);  // the reader goes away
    Line("after 1\r\n");
    const std::string broken = WaitStatus(2);
    char reason[kLogReasonSize];
    ASSERT_EQ(kLogStopped, GetLogFileState(&log, reason, sizeof reason));
    const std::string other = Failure(path, ERROR_ACCESS_DENIED);  // the same text but for the reason
    EXPECT_EQ(other.substr(0, other.size() - Reason(ERROR_ACCESS_DENIED).size()) + reason, broken);
    pipe = MakePipe(path);
    ASSERT_NE(INVALID_HANDLE_VALUE, pipe);
    Line("after 2\r\n");  // a new line: the write is tried again
    EXPECT_EQ("after 1\r\n" + broken + "\r\nafter 2\r\n" + Resumed(3, 0) + "\r\n", ReadUntil(pipe, ")\r\n"));
    CloseLogFile(&log);
    CloseHandle(pipe);
}

// The end does not wait for a write that hangs (else this test hangs), and
// the writer left in it writes no status line when the write comes back.
TEST_F(LogFileTest, CloseLeavesAHangingWriteBehind) {
    const std::string path = "\\\\.\\pipe\\log_file_test_close_" + std::to_string(GetCurrentProcessId());
    HANDLE pipe = MakePipe(path);
    ASSERT_NE(INVALID_HANDLE_VALUE, pipe);
    Open(path, 256 << 10);
    ASSERT_TRUE(HangIn(pipe, std::string(200000, 'x') + "\r\n")) << "the writer never started writing";
    CloseLogFile(&log);
    CloseHandle(pipe);  // the write fails now
    EXPECT_EQ("<none>", WaitStatus(0, 50));
}

}  // namespace
