// Tests of the store of kept entries: the lines each record takes in a view
// without a filter (separators where blocks open; a line feed of the text
// is escaped),
// the trim in one step past a tenth of slack, a walk in arrival order across
// many blocks, and records that are no packed fields.
#include "app/entry_store.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/test_texts.h"

namespace {

const SenderAddress kSenderA = MakeSender(192, 0, 2, 7, 40123);
const SenderAddress kSenderB = MakeSender(198, 51, 100, 1, 514);

// The packed fields of an entry (or, with a null sender, a status line).
std::string Packed(const SenderAddress* sender, const std::string& datagram) {
    static EntryWork work;
    static TimeCache times;
    static char clock[kTimeTextSize];
    EntryFields fields;
    if (sender)
        ReadEntryFields(&times, &work, sender, 1000, datagram.data(), datagram.size(), kCharsetAuto, &fields);
    else
        ReadStatusFields(&times, 1000, datagram.c_str(), clock, &fields);
    std::string record(PackedFieldsSize(&fields), '\0');
    EXPECT_EQ(record.size(), PackEntryFields(&fields, &record[0], record.size()));
    return record;
}

std::string TextOf(const StoredEntry* stored) {
    EntryFields fields;
    EXPECT_TRUE(UnpackEntryFields(StoredBytes(stored), stored->length, &fields));
    return std::string(fields.viewText, fields.viewLength);
}

TEST(EntryStore, CountsLinesAndTrimsPastATenth) {
    const struct {
        const SenderAddress* sender;  // null: a status line
        const char* datagram;
        unsigned lines;
    } arrivals[] = {
        {&kSenderA, "<13>Oct 11 22:14:15 gw1 one", 2},  // the first opens a block
        {&kSenderA, "<13>Oct 11 22:14:15 gw1 two", 1},
        {nullptr, "status", 1},                          // inside the block, which stays
        {&kSenderA, "<13>Oct 11 22:14:15 gw1 three", 1},
        {&kSenderA, "<13>Oct 11 22:14:15 gw2 a\nb", 2},  // a new host; the line feed shows as #012
        {&kSenderB, "<13>Oct 11 22:14:15 gw2 four", 2},  // a new sender
        {&kSenderB, "no timestamp: the sender is the host", 2},
    };
    EntryStore store;
    OpenEntryStore(&store);
    uint64_t lines = 0;
    std::vector<StoredEntry*> kept;
    for (const auto& a : arrivals) {
        std::string record = Packed(a.sender, a.datagram);
        StoredEntry* stored = StoreEntry(&store, record.data(), record.size());
        ASSERT_NE(nullptr, stored) << a.datagram;
        EXPECT_EQ(a.lines, stored->lines) << a.datagram;
        EXPECT_EQ(a.sender == nullptr, stored->status != 0);
        EXPECT_EQ(-1, stored->viewStart[kAllEntries]);
        EXPECT_EQ(-1, stored->viewStart[kFilteredEntries]);
        lines += a.lines;
        kept.push_back(stored);
    }
    EXPECT_EQ(7u, store.records);
    EXPECT_EQ(6u, store.entries);
    EXPECT_EQ(lines, store.lines);

    // 11 lines: within a tenth of 10, so nothing goes; past it, the oldest
    // go until 7 are left, and the shown ones among them are counted in
    // each view.
    uint64_t shownDropped[kStoredViews] = {99, 99};
    EXPECT_EQ(0u, TrimStore(&store, 10, shownDropped));
    EXPECT_EQ(0u, shownDropped[kAllEntries] + shownDropped[kFilteredEntries]);
    EXPECT_EQ(0u, TrimStore(&store, 0, shownDropped));  // no limit
    kept[0]->viewStart[kAllEntries] = kept[1]->viewStart[kAllEntries] = 0;
    kept[1]->viewStart[kFilteredEntries] = 0;
    kept[2]->viewStart[kFilteredEntries] = 10;  // a status line: not counted among the entries
    EXPECT_EQ(3u, TrimStore(&store, 7, shownDropped));
    EXPECT_EQ(2u, shownDropped[kAllEntries]);
    EXPECT_EQ(1u, shownDropped[kFilteredEntries]);
    EXPECT_EQ(7u, store.lines);
    EXPECT_EQ(4u, store.records);
    EXPECT_EQ(4u, store.entries);
    StoreCursor cursor;
    EXPECT_EQ("three", TextOf(FirstStored(&store, &cursor)));

    // However small the limit, the newest stays.
    EXPECT_EQ(3u, TrimStore(&store, 1, shownDropped));
    ASSERT_EQ(1u, store.records);
    EXPECT_EQ("no timestamp: the sender is the host", TextOf(FirstStored(&store, &cursor)));
    EXPECT_EQ(nullptr, NextStored(&store, &cursor));

    // Bytes that are no packed fields are not kept.
    std::string record = Packed(&kSenderA, "<13>Oct 11 22:14:15 gw1 x");
    EXPECT_EQ(nullptr, StoreEntry(&store, record.data(), record.size() - 1));
    record[0] = 7;  // no such kind
    EXPECT_EQ(nullptr, StoreEntry(&store, record.data(), record.size()));
    EXPECT_EQ(1u, store.records);
    CloseEntryStore(&store);
    EXPECT_EQ(0u, store.records);
}

TEST(EntryStore, WalksInArrivalOrderAcrossBlocks) {
    EntryStore store;
    OpenEntryStore(&store);
    const std::string filler(2000, 'x');
    const int kCount = 3000;  // about 6 MB: several blocks
    for (int round = 0; round < 2; ++round) {
        // The second round refills blocks the trim emptied.
        for (int i = 0; i < kCount; ++i) {
            std::string record = Packed(&kSenderA, "<13>Oct 11 22:14:15 gw " + std::to_string(i) + " " + filler);
            ASSERT_NE(nullptr, StoreEntry(&store, record.data(), record.size()));
        }
        uint64_t shownDropped[kStoredViews];
        // One line each after the first: keep the newest 1,000 (1,100 leaves a tenth).
        TrimStore(&store, 1000, shownDropped);
        ASSERT_EQ(1000u, store.records);
        EXPECT_LE(store.count, 3u) << "emptied blocks are let go";
        int expected = kCount - 1000, walked = 0;
        StoreCursor cursor;
        for (StoredEntry* s = FirstStored(&store, &cursor); s; s = NextStored(&store, &cursor), ++walked)
            ASSERT_EQ(std::to_string(expected + walked) + " " + filler, TextOf(s)) << walked;
        EXPECT_EQ(1000, walked);
    }
    CloseEntryStore(&store);
}

}  // namespace
