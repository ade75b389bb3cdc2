// A real entry sink for tests, as the program opens it: windows that record
// every append they are fed from the queue (every entry's view, and the
// filter's view beside it), the window thread's feed of them, and the log
// file "messages" in a scratch directory made the current one. Shared by the
// sink's tests and the reception's.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app/view_feed.h"
#include "sink/entry_sink.h"

// The file at `path` once the writer of `log` has written every line it holds.
std::string ReadLogFile(const LogFile* log, const std::string& path);

extern std::vector<std::string> g_appends;  // every CVM_APPENDTEXT the windows received

class SinkFixture : public ::testing::Test {
   protected:
    HWND view = nullptr, unused = nullptr;  // recorders: every entry's view and the filter's
    EntrySink sink;
    ViewFeed feed = {};  // the window thread's side: the feed of `view`
    std::string dir, logPath;
    char oldDirectory[MAX_PATH] = "";
    bool opened = false;  // the sink and the feed, by SetUp
    static const size_t kQueueBytes = 1 << 20;  // two chunks

    void SetUp() override;
    void TearDown() override;

    // The feed that takes entries to `to`.
    virtual ViewFeed* FeedOf(HWND) { return &feed; }
    // What the window thread does: everything queued goes to `to`.
    void Feed(HWND to) {
        while (FeedView(FeedOf(to), &sink.queue, 1000, &fed)) {
        }
    }
    uint64_t fed = 0;  // entries and status lines appended by Feed

    // The log file as its writer thread left it once it has written every line.
    std::string ReadLog() { return ReadLogFile(&sink.log, logPath); }
};
