// The entries the window keeps, shown or not: each one's packed fields
// (syslog/entry_text.h) as they came off the queue, oldest first, in large
// blocks (no heap block per entry), kept to a number of logical lines
// counted as a view without a filter would hold them. A filter decides
// which of them the view shows; a new filter shows them again from here.
// Pure code: no window headers, so it builds natively and is fuzzed.
#pragma once

#include <cstddef>
#include <cstdint>

#include "syslog/entry_text.h"

enum : size_t {
    // A block holds many entries and always the largest one.
    kStoreBlockBytes = 1u << 20,
};

// The views an entry can be shown in: every entry's, and the filter's.
enum { kAllEntries, kFilteredEntries, kStoredViews };

// Kept in front of each record in its block.
struct StoredEntry {
    uint32_t length;      // bytes of the packed fields behind this head
    uint32_t lines : 30;  // logical lines it takes in a view without a filter
    uint32_t status : 1;  // a status line: shown under every filter, not counted as an entry
    uint32_t plain : 1;   // host and text hold no in-band code byte (see entry_store.cpp)
    // Where its text starts in each view (the caller's count), -1 while not shown there.
    int64_t viewStart[kStoredViews];
};
static_assert(sizeof(StoredEntry) == 24, "a small head per record");

struct StoreBlock {
    char* bytes;  // kStoreBlockBytes
    size_t used;  // bytes of records in it
};

struct EntryStore {
    StoreBlock* blocks;  // a ring of `capacity` slots; the oldest at `first`
    size_t capacity;
    size_t first;
    size_t count;     // blocks in use
    size_t headAt;    // offset of the oldest kept record in the oldest block
    char* spare;      // an emptied block kept for the next one
    uint64_t records; // kept records
    uint64_t entries; // kept entries (status lines not counted)
    uint64_t lines;   // their logical lines in a view without a filter
    BlockState unfiltered;  // the block decisions of that view, for its separator lines
};

// Where a walk over the records stands.
struct StoreCursor {
    size_t block;  // 0 for the oldest block
    size_t at;
};

void OpenEntryStore(EntryStore* store);
void CloseEntryStore(EntryStore* store);

// Keeps a copy of `length` bytes of packed fields; the new record's head,
// shown nowhere yet, or nullptr when the bytes are no fields or memory is
// short (then nothing is kept).
StoredEntry* StoreEntry(EntryStore* store, const char* record, size_t length);
// Once the kept lines pass `maxLines` by a tenth, drops the oldest records
// until they are `maxLines` at most (0: no limit), so that the cost of a cut
// is spread over many entries; the newest record always stays.
// `shownDropped[v]` gets the dropped entries that were shown in view v
// (status lines not counted). Returns the records dropped.
uint64_t TrimStore(EntryStore* store, uint64_t maxLines, uint64_t shownDropped[kStoredViews]);

// The oldest record, then each one after it; nullptr after the newest.
StoredEntry* FirstStored(EntryStore* store, StoreCursor* cursor);
StoredEntry* NextStored(EntryStore* store, StoreCursor* cursor);
// The packed fields behind a record's head.
inline const char* StoredBytes(const StoredEntry* stored) {
    return reinterpret_cast<const char*>(stored + 1);
}
