// Tests of the entry queue: records come out whole and in order across the
// ring's end, an entry that does not fit is dropped and counted, the queue
// keeps dropping until it has drained below half, and the count comes out
// exactly once.
#include "syslog/entry_queue.h"

#include <gtest/gtest.h>

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

// Records of 64 bytes (8 header + 56) in a ring of 256: four fit.
const Step kOverflow[] = {
    {56, true, 0, 0},   {56, true, 0, 0},  {56, true, 0, 0},
    {56, true, 0, 0},   {1, false, 0, 0},                      // full: dropped
    {-1, false, 1, 0},                                         // 3 of 4 in use: still dropping
    {8, false, 0, 0},   {-1, false, 1, 0},                     // 2 of 4: not below half yet
    {8, false, 0, 0},   {-1, false, 1, 3},                     // 1 of 4: the three dropped come out once
    {56, true, 0, 0},   {56, true, 0, 0},  {56, true, 0, 0},   // wraps around the end
    {-1, false, 4, 0},  {180, true, 0, 0}, {-1, false, 1, 0},  // empty: back to the front
    {249, false, 0, 1},  // never fits; the ring is empty, so it is told at once
    {-1, false, 0, 0},  {0, true, 0, 0},   {-1, false, 1, 0},
};

TEST(EntryQueue, OrderOverflowAndDropCount) {
    EntryQueue queue;
    ASSERT_TRUE(OpenEntryQueue(&queue, 256));
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
        EXPECT_LE(QueuedBytes(&queue), queue.capacity);
    }
    size_t length = 0;
    EXPECT_EQ(nullptr, PeekEntry(&queue, &length));
    EXPECT_TRUE(expected.empty());
    CloseEntryQueue(&queue);
}

// A queue that keeps up starts every record at the front again, so a large
// bound costs no memory that is not used.
TEST(EntryQueue, EmptyQueueRestartsAtTheFront) {
    EntryQueue queue;
    ASSERT_TRUE(OpenEntryQueue(&queue, 1 << 20));
    const char* front = queue.ring;
    for (int i = 0; i < 1000; ++i) {
        std::string bytes(100 + i % 50, 'x');
        ASSERT_TRUE(PushEntry(&queue, bytes.data(), bytes.size()));
        size_t length = 0;
        const char* record = PeekEntry(&queue, &length);
        EXPECT_EQ(front + kEntryRecordHeader, record) << i;
        EXPECT_EQ(bytes.size(), length);
        PopEntry(&queue);
    }
    CloseEntryQueue(&queue);
}

// Two real threads through a small ring, as reception and the window thread
// use it: every record the consumer sees is whole and in order, and the
// records seen plus the drops counted are all that was pushed.
TEST(EntryQueue, TwoThreadsSeeEveryRecordWholeOrCounted) {
    EntryQueue queue;
    ASSERT_TRUE(OpenEntryQueue(&queue, 4096));
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
