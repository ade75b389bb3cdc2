// The entry ring. A record is an 8-byte header (length, kind) and the bytes,
// padded to 8. A record that would cross the end of the ring is preceded by
// a skip record to the end, and the record starts at the front. When the
// ring is empty, the producer moves both ends to the front before it writes:
// a queue that keeps up then touches only its first pages, and the working
// set stays small however large the bound. That is the only time the
// producer writes `tail`; the consumer, with nothing to read, never writes
// it then, and reads `head` before `tail`, so it sees either the old empty
// ring or the new record whole.
#include "syslog/entry_queue.h"

#include <cstdlib>
#include <cstring>

namespace {

enum : uint32_t { kRecordEntry = 0, kRecordSkip = 1 };

struct RecordHeader {
    uint32_t length;
    uint32_t kind;
};
static_assert(sizeof(RecordHeader) == kEntryRecordHeader, "record header size");

size_t RecordSize(size_t length) {
    return kEntryRecordHeader + ((length + 7) & ~static_cast<size_t>(7));
}

void WriteHeader(EntryQueue* queue, size_t at, uint32_t length, uint32_t kind) {
    RecordHeader header = {length, kind};
    memcpy(queue->ring + at, &header, sizeof header);
}

RecordHeader ReadHeader(const EntryQueue* queue, size_t at) {
    RecordHeader header;
    memcpy(&header, queue->ring + at, sizeof header);
    return header;
}

}  // namespace

bool OpenEntryQueue(EntryQueue* queue, size_t capacity) {
    capacity &= ~static_cast<size_t>(7);
    queue->ring = capacity >= 64 ? static_cast<char*>(malloc(capacity)) : nullptr;
    queue->capacity = queue->ring ? capacity : 0;
    queue->head.store(0);
    queue->tail.store(0);
    queue->dropping = false;
    queue->dropped = 0;
    return queue->ring != nullptr;
}

void CloseEntryQueue(EntryQueue* queue) {
    free(queue->ring);
    queue->ring = nullptr;
    queue->capacity = 0;
}

size_t QueuedBytes(const EntryQueue* queue) {
    uint64_t tail = queue->tail.load(std::memory_order_acquire);
    uint64_t head = queue->head.load(std::memory_order_acquire);
    return head > tail ? static_cast<size_t>(head - tail) : 0;  // equal ends may be moving to the front
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
    if (queue->dropping || queue->ring == nullptr || length > UINT32_MAX || need > queue->capacity) {
        queue->dropping = queue->ring != nullptr;
        ++queue->dropped;
        return false;
    }
    uint64_t head = queue->head.load(std::memory_order_relaxed);
    uint64_t used = head - queue->tail.load(std::memory_order_acquire);
    size_t at = static_cast<size_t>(head % queue->capacity);
    size_t toEnd = queue->capacity - at;  // a multiple of 8, so a header always fits
    if (used == 0 && at != 0) {
        // Empty: both ends to the front. The record is written before the
        // consumer can see the new tail.
        uint64_t front = head + toEnd;
        WriteHeader(queue, 0, static_cast<uint32_t>(length), kRecordEntry);
        memcpy(queue->ring + kEntryRecordHeader, bytes, length);
        queue->tail.store(front, std::memory_order_release);
        queue->head.store(front + need, std::memory_order_release);
        return true;
    }
    // Skip to the front when the record would cross the end.
    bool skip = need > toEnd;
    if (used + (skip ? toEnd : 0) + need > queue->capacity) {
        queue->dropping = true;
        ++queue->dropped;
        return false;
    }
    if (skip) {
        WriteHeader(queue, at, 0, kRecordSkip);
        head += toEnd;
        at = 0;
    }
    WriteHeader(queue, at, static_cast<uint32_t>(length), kRecordEntry);
    memcpy(queue->ring + at + kEntryRecordHeader, bytes, length);
    // The record is whole before the consumer can see it.
    queue->head.store(head + need, std::memory_order_release);
    return true;
}

const char* PeekEntry(EntryQueue* queue, size_t* length) {
    for (;;) {
        uint64_t head = queue->head.load(std::memory_order_acquire);
        uint64_t tail = queue->tail.load(std::memory_order_acquire);
        // A tail past the head: the producer is moving both ends to the
        // front, and it posts a wake-up once the record is in.
        if (tail >= head) return nullptr;
        size_t at = static_cast<size_t>(tail % queue->capacity);
        RecordHeader header = ReadHeader(queue, at);
        if (header.kind == kRecordSkip) {
            queue->tail.store(tail + (queue->capacity - at), std::memory_order_release);
            continue;
        }
        *length = header.length;
        return queue->ring + at + kEntryRecordHeader;
    }
}

void PopEntry(EntryQueue* queue) {
    size_t length = 0;
    if (PeekEntry(queue, &length) == nullptr) return;
    uint64_t tail = queue->tail.load(std::memory_order_relaxed);
    // Done with the record: the producer may overwrite it from now on.
    queue->tail.store(tail + RecordSize(length), std::memory_order_release);
}
