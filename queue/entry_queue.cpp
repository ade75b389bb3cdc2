// The entry queue. A record is an 8-byte header (length, kind) and the
// bytes, padded to 8. A record is placed in the producer's chunk only when a
// header still fits behind it, so that a full chunk can always end in a jump
// record naming the next chunk. The consumer follows the jump and hands the
// chunk it leaves back to the producer through a small ring of chunk numbers.
#include "queue/entry_queue.h"

#include <cstdlib>
#include <cstring>

namespace {

enum : uint32_t { kRecordEntry = 0, kRecordJump = 1 };

struct RecordHeader {
    uint32_t length;  // of a jump: the next chunk
    uint32_t kind;
};
static_assert(sizeof(RecordHeader) == kEntryRecordHeader, "record header size");

size_t RecordSize(size_t length) {
    return kEntryRecordHeader + ((length + 7) & ~static_cast<size_t>(7));
}

char* ChunkAt(const EntryQueue* queue, uint32_t chunk, size_t at) {
    return queue->pool + static_cast<size_t>(chunk) * queue->chunkBytes + at;
}

void WriteHeader(char* at, uint32_t length, uint32_t kind) {
    RecordHeader header = {length, kind};
    memcpy(at, &header, sizeof header);
}

RecordHeader ReadHeader(const char* at) {
    RecordHeader header;
    memcpy(&header, at, sizeof header);
    return header;
}

// Producer: the chunks the consumer has finished, onto the free stack in the
// order they came back, so that the one freed last is used first.
void TakeBackChunks(EntryQueue* queue) {
    uint32_t out = queue->returnedOut.load(std::memory_order_relaxed);
    uint32_t in = queue->returnedIn.load(std::memory_order_acquire);
    for (; out != in; ++out)
        queue->freeChunks[queue->freeCount++] = queue->returned[out % (queue->chunkCount + 1)];
    queue->returnedOut.store(out, std::memory_order_release);
}

// Consumer: a chunk it has finished goes back to the producer.
void ReturnChunk(EntryQueue* queue, uint32_t chunk) {
    uint32_t in = queue->returnedIn.load(std::memory_order_relaxed);
    queue->returned[in % (queue->chunkCount + 1)] = chunk;
    queue->returnedIn.store(in + 1, std::memory_order_release);
}

}  // namespace

bool OpenEntryQueue(EntryQueue* queue, size_t capacity, size_t chunkBytes) {
    chunkBytes &= ~static_cast<size_t>(7);
    size_t chunks = chunkBytes >= 64 ? capacity / chunkBytes : 0;
    if (chunks > 0xFFFFFFu) chunks = 0xFFFFFFu;
    queue->chunkBytes = chunkBytes;
    queue->chunkCount = static_cast<uint32_t>(chunks);
    queue->capacity = chunks * chunkBytes;
    // Untouched pages of the pool cost no memory: only chunks in use do.
    queue->pool = chunks >= 2 ? static_cast<char*>(malloc(queue->capacity)) : nullptr;
    queue->freeChunks = static_cast<uint32_t*>(malloc((chunks + 1) * sizeof(uint32_t)));
    queue->returned = static_cast<uint32_t*>(malloc((chunks + 1) * sizeof(uint32_t)));
    queue->writeChunk = queue->readChunk = 0;
    queue->writeAt = queue->readAt = 0;
    queue->freeCount = 0;
    queue->returnedIn.store(0);
    queue->returnedOut.store(0);
    queue->pushed.store(0);
    queue->popped.store(0);
    queue->pushedBytes.store(0);
    queue->poppedBytes.store(0);
    queue->dropping = false;
    queue->dropped = 0;
    if (!queue->pool || !queue->freeChunks || !queue->returned) {
        CloseEntryQueue(queue);
        return false;
    }
    // Chunk 0 first, then 1, 2 and on: the stack's top is the next to use.
    for (uint32_t chunk = queue->chunkCount; chunk-- > 1;) queue->freeChunks[queue->freeCount++] = chunk;
    return true;
}

void CloseEntryQueue(EntryQueue* queue) {
    free(queue->pool);
    free(queue->freeChunks);
    free(queue->returned);
    queue->pool = nullptr;
    queue->freeChunks = queue->returned = nullptr;
    queue->chunkCount = 0;
    queue->capacity = 0;
}

size_t QueuedBytes(const EntryQueue* queue) {
    uint64_t popped = queue->poppedBytes.load(std::memory_order_acquire);
    uint64_t pushed = queue->pushedBytes.load(std::memory_order_acquire);
    return pushed > popped ? static_cast<size_t>(pushed - popped) : 0;
}

uint64_t TakeDropCount(EntryQueue* queue) {
    if (!queue->dropping || QueuedBytes(queue) >= queue->capacity / 2) return 0;
    uint64_t count = queue->dropped;
    queue->dropping = false;
    queue->dropped = 0;
    return count;
}

bool PushEntry(EntryQueue* queue, const char* bytes, size_t length) {
    size_t need = RecordSize(length);
    bool fits =
        queue->pool != nullptr && length <= UINT32_MAX && need + kEntryRecordHeader <= queue->chunkBytes;
    if (!queue->dropping && fits && queue->writeAt + need + kEntryRecordHeader > queue->chunkBytes) {
        // The chunk is full: on to a free one, if there is one.
        TakeBackChunks(queue);
        if (queue->freeCount > 0) {
            uint32_t next = queue->freeChunks[--queue->freeCount];
            WriteHeader(ChunkAt(queue, queue->writeChunk, queue->writeAt), next, kRecordJump);
            queue->writeChunk = next;
            queue->writeAt = 0;
        } else {
            fits = false;
        }
    }
    if (queue->dropping || !fits) {
        queue->dropping = queue->pool != nullptr;
        ++queue->dropped;
        return false;
    }
    char* at = ChunkAt(queue, queue->writeChunk, queue->writeAt);
    WriteHeader(at, static_cast<uint32_t>(length), kRecordEntry);
    memcpy(at + kEntryRecordHeader, bytes, length);
    queue->writeAt += need;
    queue->pushedBytes.fetch_add(need, std::memory_order_relaxed);
    // The record (and a jump before it) is whole before the consumer can see it.
    queue->pushed.fetch_add(1, std::memory_order_release);
    return true;
}

const char* PeekEntry(EntryQueue* queue, size_t* length) {
    if (queue->pool == nullptr ||
        queue->popped.load(std::memory_order_relaxed) == queue->pushed.load(std::memory_order_acquire))
        return nullptr;
    for (;;) {
        const char* at = ChunkAt(queue, queue->readChunk, queue->readAt);
        RecordHeader header = ReadHeader(at);
        if (header.kind == kRecordJump) {
            ReturnChunk(queue, queue->readChunk);
            queue->readChunk = header.length;
            queue->readAt = 0;
            continue;
        }
        *length = header.length;
        return at + kEntryRecordHeader;
    }
}

void PopEntry(EntryQueue* queue) {
    size_t length = 0;
    if (PeekEntry(queue, &length) == nullptr) return;
    size_t size = RecordSize(length);
    queue->readAt += size;
    queue->poppedBytes.fetch_add(size, std::memory_order_relaxed);
    // Done with the record: it counts as read from now on.
    queue->popped.fetch_add(1, std::memory_order_release);
}
