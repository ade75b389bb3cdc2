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
// after it too, until the queue holds less than half its bound: then the
// caller is told how many were dropped (TakeDropCount), so that it can queue
// a status line saying so before the next entry. Pure code: no window headers.
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
    bool dropping;     // an entry was dropped and the queue has not yet drained to half
    uint64_t dropped;  // entries dropped since the last TakeDropCount

    // Consumer side: where the next record is read.
    uint32_t readChunk;
    size_t readAt;

    // Chunks the consumer has read, on their way back to the producer: a
    // ring of chunkCount + 1 slots, written by the consumer at `returnedIn`
    // and read by the producer at `returnedOut`.
    uint32_t* returned;
    std::atomic<uint32_t> returnedIn;
    std::atomic<uint32_t> returnedOut;

    // Records and their bytes (headers and padding included), pushed by the
    // producer and popped by the consumer. A record is visible to the
    // consumer once `pushed` counts it.
    std::atomic<uint64_t> pushed;
    std::atomic<uint64_t> popped;
    std::atomic<uint64_t> pushedBytes;
    std::atomic<uint64_t> poppedBytes;
};

// Makes the pool; false when memory is short. The bound is `capacity` bytes
// rounded down to whole chunks of `chunkBytes` (at least two chunks).
bool OpenEntryQueue(EntryQueue* queue, size_t capacity, size_t chunkBytes = kEntryChunkBytes);
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

// Bytes the waiting records hold (headers and padding included), as either
// side last saw them.
size_t QueuedBytes(const EntryQueue* queue);
