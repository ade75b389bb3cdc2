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

uint32_t* ReturnedSlot(const EntryQueue* queue, uint32_t count) {
    return &queue->returned[count & (queue->returnedSlots - 1)];
}

// Producer: the chunks the consumer has finished, onto the free stack in the
// order they came back, so that the one freed last is used first.
void TakeBackChunks(EntryQueue* queue) {
    uint32_t out = queue->returnedOut.load(std::memory_order_relaxed);
    uint32_t in = queue->returnedIn.load(std::memory_order_acquire);
    for (; out != in; ++out) queue->freeChunks[queue->freeCount++] = *ReturnedSlot(queue, out);
    queue->returnedOut.store(out, std::memory_order_release);
}

// Consumer: a chunk it has finished goes back to the producer.
void ReturnChunk(EntryQueue* queue, uint32_t chunk) {
    uint32_t in = queue->returnedIn.load(std::memory_order_relaxed);
    *ReturnedSlot(queue, in) = chunk;
    queue->returnedIn.store(in + 1, std::memory_order_release);
}

// A record of `length` bytes can be placed in some chunk at all.
bool RecordFitsAChunk(const EntryQueue* queue, size_t length) {
    return queue->pool != nullptr && length <= UINT32_MAX &&
           RecordSize(length) + kEntryRecordHeader <= queue->chunkBytes;
}

// A record of `need` bytes placed at `at` leaves room for the jump behind it.
bool FitsBehind(const EntryQueue* queue, size_t at, size_t need) {
    return at + need + kEntryRecordHeader <= queue->chunkBytes;
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
    queue->returnedSlots = 1;
    while (queue->returnedSlots <= chunks) queue->returnedSlots *= 2;
    queue->freeChunks = static_cast<uint32_t*>(malloc((chunks + 1) * sizeof(uint32_t)));
    queue->returned = static_cast<uint32_t*>(malloc(queue->returnedSlots * sizeof(uint32_t)));
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
    queue->wakePending.store(false);
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

bool QueueOverHalf(const EntryQueue* queue) {
    return QueuedBytes(queue) > queue->capacity / 2;
}

uint64_t DropCountDue(const EntryQueue* queue) {
    return queue->dropping && QueuedBytes(queue) < queue->capacity / 2 ? queue->dropped : 0;
}

bool EndDropping(EntryQueue* queue, size_t first, size_t second) {
    if (!queue->dropping) return false;
    // Below half, the consumer may still hold the chunk it reads with no
    // other free: a large record then fits nowhere. Place both as PushEntry
    // would, on the free chunks there are now.
    TakeBackChunks(queue);
    size_t at = queue->writeAt;
    uint32_t free = queue->freeCount;
    const size_t lengths[] = {first, second};
    for (size_t length : lengths) {
        if (length == kNoRecord) continue;
        if (!RecordFitsAChunk(queue, length)) return false;
        if (!FitsBehind(queue, at, RecordSize(length))) {
            if (free-- == 0) return false;
            at = 0;
        }
        at += RecordSize(length);
    }
    queue->dropping = false;
    queue->dropped = 0;
    return true;
}

bool PushEntry(EntryQueue* queue, const char* bytes, size_t length) {
    size_t need = RecordSize(length);
    bool fits = RecordFitsAChunk(queue, length);
    if (!queue->dropping && fits && !FitsBehind(queue, queue->writeAt, need)) {
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

bool ClaimWakeUp(EntryQueue* queue) {
    return !queue->wakePending.exchange(true);
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

bool SleepUntilPushed(EntryQueue* queue) {
    // An exchange, not a store: a store followed by the load of `pushed`
    // may be reordered (store buffering), and a producer that pushed just
    // then would find the flag still set and wake no one, while the load
    // missed its record. The exchange reads the flag in its one order of
    // changes: if it reads a producer's claim, that producer's push is
    // visible below; if not, the producer's claim comes after it and wakes.
    queue->wakePending.exchange(false, std::memory_order_acq_rel);
    size_t length = 0;
    // An entry pushed before found the flag set and did not wake: take the
    // wake-up back, unless a producer has claimed one since.
    return !(PeekEntry(queue, &length) && ClaimWakeUp(queue));
}

bool CheckEntryQueue(const EntryQueue* queue) {
    if (queue->pool == nullptr) return true;
    const uint32_t count = queue->chunkCount;
    unsigned char* seen = static_cast<unsigned char*>(calloc(count, 1));
    if (!seen) return false;
    bool whole = true;
    auto mark = [&](uint32_t chunk) { whole = whole && chunk < count && seen[chunk]++ == 0; };
    for (uint32_t i = 0; i < queue->freeCount; ++i) mark(queue->freeChunks[i]);
    uint32_t in = queue->returnedIn.load(), out = queue->returnedOut.load();
    for (uint32_t at = out; at != in && whole; ++at) mark(*ReturnedSlot(queue, at));
    // From the consumer's place to the producer's, record by record.
    uint32_t chunk = queue->readChunk;
    size_t at = queue->readAt;
    uint64_t records = 0;
    mark(chunk);
    while (whole && (chunk != queue->writeChunk || at != queue->writeAt)) {
        if (at + kEntryRecordHeader > queue->chunkBytes) {
            whole = false;
            break;
        }
        RecordHeader header = ReadHeader(ChunkAt(queue, chunk, at));
        if (header.kind == kRecordJump) {
            chunk = header.length;
            at = 0;
            mark(chunk);
        } else {
            at += RecordSize(header.length);
            ++records;
        }
    }
    for (uint32_t c = 0; c < count; ++c) whole = whole && seen[c] == 1;
    free(seen);
    return whole && records == queue->pushed.load() - queue->popped.load();
}
