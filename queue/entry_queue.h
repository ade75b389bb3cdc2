// The hand-over from the reception thread to the window thread: a bounded
// queue of entry texts, made once, into which producers copy and from which
// the window thread reads in place. This is the one place where the two
// threads meet. Producers are serialised by their caller (one lock that the
// window thread never takes), so a stalled window thread can never hold up
// reception; the consumer side is lock-free.
//
// The memory is a pool of equal chunks. Records follow each other in a
// chunk; a full chunk is followed by a free one, and the consumer hands
// each chunk it has read back to the producer, who takes the chunk freed
// last first. So a queue that keeps (nearly) up touches a few chunks only,
// however large the bound, and the whole bound is there for a burst.
//
// When an entry does not fit, it is dropped and counted, and every entry
// after it too, until the queue holds less than half its bound and a status
// line saying how many were dropped fits, together with the record that is
// to follow it: then the caller queues that line first (DropCountDue,
// EndDropping). The count is kept until the line is queued.
//
// The consumer's wake-up lives here too (ClaimWakeUp, SleepUntilPushed), so
// that the one rule of when to wake it is pure code; view_queue.h posts it.
// Pure code: no window headers.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

enum : size_t {
    kEntryRecordHeader = 8,
    // A chunk holds the largest entry text (about 257 KB) and the marker
    // that leads to the next chunk.
    kEntryChunkBytes = 512 * 1024,
};

struct EntryQueue {
    char* pool;         // chunkCount chunks of chunkBytes
    size_t chunkBytes;  // a multiple of 8
    uint32_t chunkCount;
    size_t capacity;  // the bound: chunkCount * chunkBytes

    // Producer side: where the next record goes, and the free chunks, the
    // one freed last on top.
    uint32_t writeChunk;
    size_t writeAt;
    uint32_t* freeChunks;
    uint32_t freeCount;
    bool dropping;     // an entry was dropped and its status line is not queued yet
    uint64_t dropped;  // entries dropped since the dropping began

    // Consumer side: where the next record is read.
    uint32_t readChunk;
    size_t readAt;

    // Chunks the consumer has read, on their way back to the producer: a
    // ring of returnedSlots (a power of two above chunkCount), written by the
    // consumer at `returnedIn` and read by the producer at `returnedOut`.
    // The counters run on past 2^32: a power of two divides it, so the slot
    // of a count is the same on both sides of the wrap.
    uint32_t* returned;
    uint32_t returnedSlots;
    std::atomic<uint32_t> returnedIn;
    std::atomic<uint32_t> returnedOut;

    // Records and their bytes (headers and padding included), pushed by the
    // producer and popped by the consumer. A record is visible to the
    // consumer once `pushed` counts it.
    std::atomic<uint64_t> pushed;
    std::atomic<uint64_t> popped;
    std::atomic<uint64_t> pushedBytes;
    std::atomic<uint64_t> poppedBytes;

    // A wake-up of the consumer is on its way and not yet taken back.
    std::atomic<bool> wakePending;
};

enum : size_t { kNoRecord = SIZE_MAX };  // EndDropping's `second` when no record follows

// Makes the pool; false when memory is short. The bound is `capacity` bytes
// rounded down to whole chunks of `chunkBytes` (at least two chunks).
bool OpenEntryQueue(EntryQueue* queue, size_t capacity, size_t chunkBytes = kEntryChunkBytes);
void CloseEntryQueue(EntryQueue* queue);

// Producer: while the queue is dropping and once it has drained below half
// its bound, the entries dropped so far; otherwise 0. The caller then builds
// the status line that says so and asks EndDropping whether it fits.
uint64_t DropCountDue(const EntryQueue* queue);
// Producer: ends the dropping when a record of `first` bytes and then one of
// `second` bytes (kNoRecord: none) both fit now, and the count starts again
// from 0; the caller pushes them next. False when they do not: the queue
// goes on dropping and counting, and the caller asks again later.
bool EndDropping(EntryQueue* queue, size_t first, size_t second);
// Producer: copies `length` bytes as one record. False when it is dropped
// (no room, or the queue is dropping), which counts it.
bool PushEntry(EntryQueue* queue, const char* bytes, size_t length);
// Producer, after a push: true when the consumer may have gone to sleep and
// must be woken; from then on no push says so until it sleeps again.
bool ClaimWakeUp(EntryQueue* queue);

// Consumer: the oldest record, in place, or nullptr when the queue is empty.
// It stays valid until PopEntry.
const char* PeekEntry(EntryQueue* queue, size_t* length);
void PopEntry(EntryQueue* queue);
// Consumer: lets the next push claim a wake-up. False when a record is
// waiting already: the consumer must then come back by itself.
bool SleepUntilPushed(EntryQueue* queue);

// Bytes the waiting records hold (headers and padding included), as either
// side last saw them.
size_t QueuedBytes(const EntryQueue* queue);
// Whether the waiting records hold more than half the bound: the consumer
// is far behind, and reception leaves TCP senders waiting.
bool QueueOverHalf(const EntryQueue* queue);

// For tests, with neither side running: every chunk is exactly once either
// free, on its way back, or on the records' way from the consumer's place to
// the producer's, and that way holds as many records as were pushed and
// not popped.
bool CheckEntryQueue(const EntryQueue* queue);
