// Tests of the entry queue: records come out whole and in order across the
// ring's end, an entry that does not fit is dropped and counted, the queue
// keeps dropping until it has drained below half, and the count comes out
// exactly once.
#include "queue/entry_queue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <deque>
#include <string>
#include <thread>

namespace {

// One step: push an entry of `push` bytes (expecting `pushed`), or pop
// `pop` entries, then ask for the drop count (expecting `drops`).
struct Step {
    int push;  // bytes, or -1 for a pop step
    bool pushed;
    int pop;
    uint64_t drops;
};

// Four chunks of 256 bytes; records of 56 bytes take 64, and a chunk holds
// three of them with room for the jump to the next.
const Step kOverflow[] = {
    {56, true, 0, 0},   {56, true, 0, 0},   {56, true, 0, 0},  // chunk 0
    {56, true, 0, 0},   {56, true, 0, 0},   {56, true, 0, 0},  // chunk 1
    {56, true, 0, 0},   {56, true, 0, 0},   {56, true, 0, 0},  // chunk 2
    {56, true, 0, 0},   {56, true, 0, 0},   {56, true, 0, 0},  // chunk 3
    {56, false, 0, 0},                                         // full: dropped
    {-1, false, 1, 0},                                         // 11 left: still dropping
    {8, false, 0, 0},   {-1, false, 3, 0},                     // 8 left, half the bound: not below it
    {8, false, 0, 0},   {-1, false, 1, 3},                     // 7 left: the three dropped come out once
    {56, true, 0, 0},   {56, true, 0, 0},   {56, true, 0, 0},  // chunk 0 again, the one freed
    {-1, false, 10, 0}, {241, false, 0, 1},                    // never fits a chunk; told at once
    {0, true, 0, 0},    {-1, false, 1, 0},
};

TEST(EntryQueue, OrderOverflowAndDropCount) {
    EntryQueue queue;
    ASSERT_TRUE(OpenEntryQueue(&queue, 1024, 256));
    std::deque<std::string> expected;
    int serial = 0, step = 0;
    for (const Step& s : kOverflow) {
        SCOPED_TRACE("step " + std::to_string(++step));
        if (s.push >= 0) {
            std::string bytes(static_cast<size_t>(s.push), static_cast<char>('a' + serial++ % 26));
            EXPECT_EQ(s.pushed, PushEntry(&queue, bytes.data(), bytes.size()));
            if (s.pushed) expected.push_back(bytes);
        }
        for (int i = 0; i < s.pop; ++i) {
            size_t length = 0;
            const char* record = PeekEntry(&queue, &length);
            ASSERT_NE(nullptr, record);
            ASSERT_FALSE(expected.empty());
            EXPECT_EQ(expected.front(), std::string(record, length));
            expected.pop_front();
            PopEntry(&queue);
        }
        EXPECT_EQ(s.drops, TakeDropCount(&queue));
        size_t bytes = 0;
        for (const std::string& e : expected) bytes += kEntryRecordHeader + (e.size() + 7) / 8 * 8;
        EXPECT_EQ(bytes, QueuedBytes(&queue));
    }
    size_t length = 0;
    EXPECT_EQ(nullptr, PeekEntry(&queue, &length));
    EXPECT_TRUE(expected.empty());
    CloseEntryQueue(&queue);
}

// However many records pass, a queue that keeps up or lags a little uses
// the same few chunks, so a large bound costs no memory that is not used.
TEST(EntryQueue, QueueThatKeepsUpStaysInAFewChunks) {
    for (int lag : {0, 50, 2000}) {
        EntryQueue queue;
        ASSERT_TRUE(OpenEntryQueue(&queue, 32 << 20));
        const std::string bytes(200, 'x');
        size_t farthest = 0, length = 0;
        for (int i = 0; i < 100000; ++i) {
            ASSERT_TRUE(PushEntry(&queue, bytes.data(), bytes.size()));
            if (i < lag) continue;
            const char* record = PeekEntry(&queue, &length);
            ASSERT_NE(nullptr, record);
            farthest = std::max(farthest, static_cast<size_t>(record - queue.pool));
            PopEntry(&queue);
        }
        EXPECT_EQ(lag * (kEntryRecordHeader + 200), QueuedBytes(&queue)) << lag;
        // The chunks a lag of `lag` records needs, and the one being filled.
        size_t chunks = (lag * (kEntryRecordHeader + 200)) / kEntryChunkBytes + 2;
        EXPECT_LT(farthest, chunks * kEntryChunkBytes) << lag;
        CloseEntryQueue(&queue);
    }
}

// Two real threads through a small ring, as reception and the window thread
// use it: every record the consumer sees is whole and in order, and the
// records seen plus the drops counted are all that was pushed.
TEST(EntryQueue, TwoThreadsSeeEveryRecordWholeOrCounted) {
    EntryQueue queue;
    ASSERT_TRUE(OpenEntryQueue(&queue, 4096, 512));
    const uint32_t kRecords = 200000;
    std::atomic<bool> done(false);
    uint64_t dropped = 0;
    std::thread producer([&] {
        char bytes[300];
        for (uint32_t serial = 0; serial < kRecords; ++serial) {
            size_t length = sizeof serial + serial * 7919 % (sizeof bytes - sizeof serial);
            memcpy(bytes, &serial, sizeof serial);
            memset(bytes + sizeof serial, static_cast<char>(serial), length - sizeof serial);
            dropped += TakeDropCount(&queue);
            PushEntry(&queue, bytes, length);
        }
        done.store(true);
    });
    uint32_t seen = 0, last = 0;
    bool whole = true, ordered = true;
    for (;;) {
        bool finished = done.load();
        size_t length = 0;
        const char* record = PeekEntry(&queue, &length);
        if (!record) {
            if (finished) break;
            std::this_thread::yield();
            continue;
        }
        uint32_t serial;
        memcpy(&serial, record, sizeof serial);
        if (seen > 0 && serial <= last) ordered = false;
        if (length != sizeof serial + serial * 7919 % (300 - sizeof serial)) whole = false;
        for (size_t i = sizeof serial; i < length; ++i)
            whole = whole && record[i] == static_cast<char>(serial);
        last = serial;
        ++seen;
        PopEntry(&queue);
    }
    producer.join();
    dropped += queue.dropped;
    EXPECT_TRUE(whole);
    EXPECT_TRUE(ordered);
    EXPECT_EQ(kRecords, seen + dropped);
    EXPECT_GT(seen, 0u);
    CloseEntryQueue(&queue);
}

}  // namespace
