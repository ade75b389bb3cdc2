// A real entry sink for tests, as the program opens it: a window that
// records every append it is fed from the queue, and the log file
// "messages" in a scratch directory made the current one. Shared by the
// sink's tests and the reception's.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "sink/entry_sink.h"

// The file at `path` once the writer of `log` has written every line it holds.
std::string ReadLogFile(const LogFile* log, const std::string& path);

extern std::vector<std::string> g_appends;  // every CVM_APPENDTEXT the window received

class SinkFixture : public ::testing::Test {
   protected:
    HWND view = nullptr;
    EntrySink sink;
    std::string dir, logPath;
    char oldDirectory[MAX_PATH] = "";
    bool opened = false;  // the sink, by SetUp
    static const size_t kQueueBytes = 1 << 20;  // two chunks

    void SetUp() override;
    void TearDown() override;

    // What the window thread does: everything queued goes to `to`.
    void Feed(HWND to);
    uint64_t fed = 0;  // entries and status lines appended by Feed

    // The log file as its writer thread left it once it has written every line.
    std::string ReadLog() { return ReadLogFile(&sink.log, logPath); }
};
