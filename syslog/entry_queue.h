// The hand-over from the reception thread to the window thread: a bounded
// ring of entry texts, made once, into which producers copy and from which
// the window thread reads in place. This is the one place where the two
// threads meet. Producers are serialised by their caller (one lock that the
// window thread never takes), so a stalled window thread can never hold up
// reception; the consumer side is lock-free.
//
// When an entry does not fit, it is dropped and counted, and every entry
// after it too, until the ring is below half its bound: then the caller is
// told how many were dropped (TakeDropCount), so that it can queue a status
// line saying so before the next entry. Pure code: no window headers.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

struct EntryQueue {
    char* ring;       // `capacity` bytes; records are 8-byte aligned
    size_t capacity;  // the bound, in bytes, headers and padding included
    // Byte counts since the start, never wrapping in practice (64 bits): the
    // producer advances `head` once a record is written whole, the consumer
    // advances `tail` once it is done with a record. head - tail is in use.
    std::atomic<uint64_t> head;
    std::atomic<uint64_t> tail;
    // Producer side only.
    bool dropping;     // an entry was dropped and the ring has not yet drained to half
    uint64_t dropped;  // entries dropped since the last TakeDropCount
};

enum { kEntryRecordHeader = 8 };

// Makes the ring; false when memory is short. `capacity` is rounded down to
// a multiple of 8 and must be at least 64.
bool OpenEntryQueue(EntryQueue* queue, size_t capacity);
void CloseEntryQueue(EntryQueue* queue);

// Producer: when the queue is dropping and has drained below half its bound,
// ends the dropping and returns the count of dropped entries (then 0 again);
// otherwise 0. The caller queues a status line with the count first.
uint64_t TakeDropCount(EntryQueue* queue);
// Producer: copies `length` bytes as one record. False when it is dropped
// (no room, or the queue is dropping until it drains to half), which counts it.
bool PushEntry(EntryQueue* queue, const char* bytes, size_t length);

// Consumer: the oldest record, in place, or nullptr when the queue is empty.
// It stays valid until PopEntry.
const char* PeekEntry(EntryQueue* queue, size_t* length);
void PopEntry(EntryQueue* queue);

// Bytes in use (headers and padding included), as either side last saw them.
size_t QueuedBytes(const EntryQueue* queue);
