// Tests of the entry queue: records come out whole and in order across the
// ring's end and the wrap of its counters, an entry that does not fit is
// dropped and counted, the queue keeps dropping until it has drained below
// half and the status line and the record after it fit, and the count comes
// out exactly once.
#include "queue/entry_queue.h"

#include "tests/queue/queue_stress.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <string>

namespace {

// One step: push an entry of `push` bytes (expecting `pushed`), or pop
// `pop` entries (kPeek: only peek, which follows a jump and so hands the
// chunk left back), then ask for the drop count (expecting `due`). While one
// is due, ask whether a status line of `line` bytes and then the record
// `next` fit (expecting `ended`); when they do, the line is pushed.
struct Step {
    int push;  // bytes, or -1 for a pop step
    bool pushed;
    int pop;
    uint64_t due;
    size_t line = 0, next = 0;
    bool ended = false;
};
const int kPeek = -1;

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
    {8, false, 0, 0},                                          // 7 left: the three dropped are told once
    {-1, false, 1, 3, 8, kNoRecord, true},
    {56, true, 0, 0},   {56, true, 0, 0},   {56, true, 0, 0},  // chunk 0 again, the one freed
    {-1, false, 11, 0},                                        // never fits a chunk; told at once
    {241, false, 0, 1, 8, kNoRecord, true},
    {0, true, 0, 0},    {-1, false, 2, 0},
};

// Records of 200 bytes take a chunk each. Below half the bound, the consumer
// may still hold the chunk it has read to the end, and a line and a large
// record then do not both fit: the queue goes on dropping, and counting,
// until they do.
const Step kLargeRecords[] = {
    {200, true, 0, 0},  {200, true, 0, 0},  {200, true, 0, 0},  {200, true, 0, 0},
    {200, false, 0, 0},                     // full: dropped
    {-1, false, 2, 1, 56, 200, false},      // the line would fit, the record after it not
    {200, false, 0, 2, 56, 200, false},     // that one is dropped and counted too
    {-1, false, kPeek, 2, 56, 200, true},   // the consumer moves on: both fit
    {200, true, 0, 0},  {-1, false, 4, 0},  // the record after the line
};

void RunSteps(const Step* steps, size_t count) {
    EntryQueue queue;
    ASSERT_TRUE(OpenEntryQueue(&queue, 1024, 256));
    std::deque<std::string> expected;
    int serial = 0;
    auto push = [&](size_t length) {
        std::string bytes(length, static_cast<char>('a' + serial++ % 26));
        bool pushed = PushEntry(&queue, bytes.data(), bytes.size());
        if (pushed) expected.push_back(bytes);
        return pushed;
    };
    for (size_t step = 0; step < count; ++step) {
        const Step& s = steps[step];
        SCOPED_TRACE("step " + std::to_string(step + 1));
        if (s.push >= 0) {
            EXPECT_EQ(s.pushed, push(static_cast<size_t>(s.push)));
        }
        size_t length = 0;
        if (s.pop == kPeek) {
            EXPECT_NE(nullptr, PeekEntry(&queue, &length));
        }
        for (int i = 0; i < s.pop; ++i) {
            const char* record = PeekEntry(&queue, &length);
            ASSERT_NE(nullptr, record);
            ASSERT_FALSE(expected.empty());
            EXPECT_EQ(expected.front(), std::string(record, length));
            expected.pop_front();
            PopEntry(&queue);
        }
        EXPECT_EQ(s.due, DropCountDue(&queue));
        if (s.due != 0) {
            EXPECT_EQ(s.ended, EndDropping(&queue, s.line, s.next));
            if (s.ended) {
                EXPECT_TRUE(push(s.line)) << "the line was promised room";
            }
        }
        size_t bytes = 0;
        for (const std::string& e : expected) bytes += kEntryRecordHeader + (e.size() + 7) / 8 * 8;
        EXPECT_EQ(bytes, QueuedBytes(&queue));
        EXPECT_TRUE(CheckEntryQueue(&queue));
    }
    size_t length = 0;
    EXPECT_EQ(nullptr, PeekEntry(&queue, &length));
    EXPECT_TRUE(expected.empty());
    CloseEntryQueue(&queue);
}

TEST(EntryQueue, OrderOverflowAndDropCount) {
    RunSteps(kOverflow, sizeof kOverflow / sizeof kOverflow[0]);
}

TEST(EntryQueue, DroppingEndsOnlyWhenTheLineAndTheNextRecordFit) {
    RunSteps(kLargeRecords, sizeof kLargeRecords / sizeof kLargeRecords[0]);
}

// Chunks cycle through the ring of returned ones while the consumer lags by
// none to nearly all of them, with the ring's counters started just below 2^32 so
// that they pass the wrap: every record comes out whole and in order, and
// every chunk stays exactly one thing at a time.
TEST(EntryQueue, ChunksCycleWholeAcrossTheCountersWrap) {
    EntryQueue queue;
    ASSERT_TRUE(OpenEntryQueue(&queue, 1024, 256));  // four chunks of three 56-byte records
    queue.returnedIn.store(UINT32_MAX - 7);
    queue.returnedOut.store(UINT32_MAX - 7);
    std::deque<std::string> expected;
    int serial = 0;
    for (int round = 0; round < 300; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const size_t lag = round * 5 % 8;  // records left waiting after the round
        while (expected.size() <= lag) {
            std::string bytes(56, static_cast<char>('a' + serial++ % 26));
            ASSERT_TRUE(PushEntry(&queue, bytes.data(), bytes.size()));
            expected.push_back(bytes);
        }
        while (expected.size() > lag) {
            size_t length = 0;
            const char* record = PeekEntry(&queue, &length);
            ASSERT_NE(nullptr, record);
            ASSERT_EQ(expected.front(), std::string(record, length));
            expected.pop_front();
            PopEntry(&queue);
        }
        ASSERT_TRUE(CheckEntryQueue(&queue));
    }
    EXPECT_LT(queue.returnedIn.load(), 1000u);  // it did pass the wrap
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

// Two real threads through a small queue, in bursts with pauses between
// them, as reception and the window thread use it (queue_stress.h): every
// record the consumer sees is whole and in order, the records seen plus the
// drops the lines name are all that was pushed, and every burst wakes the
// consumer.
TEST(EntryQueue, TwoThreadsSeeEveryRecordWholeOrCounted) {
    const uint32_t kBursts = 200, kPerBurst = 1000;
    QueueStress stress = StressQueue(kBursts, kPerBurst);
    EXPECT_TRUE(stress.whole);
    EXPECT_TRUE(stress.ordered);
    EXPECT_TRUE(stress.roomKept);
    EXPECT_TRUE(stress.woken);
    EXPECT_EQ(kBursts * kPerBurst, stress.seen + stress.told);
    EXPECT_GT(stress.seen, 0u);
}

}  // namespace
