// The log file's backlog: a ring of length-prefixed lines, and the run that
// the writer is working through. Lines leave the ring whole when they enter
// the run, so dropping the oldest always takes from the ring's head and the
// ring needs no compaction.
#include "logfile/log_backlog.h"

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

const size_t kLengthBytes = 4, kTimeBytes = 8;

// Copies into the ring at `at`, wrapping at its end.
void RingWrite(LogBacklog* b, size_t at, const void* bytes, size_t count) {
    size_t first = b->ringSize - at < count ? b->ringSize - at : count;
    memcpy(b->ring + at, bytes, first);
    memcpy(b->ring, static_cast<const unsigned char*>(bytes) + first, count - first);
}

void RingRead(const LogBacklog* b, size_t at, void* bytes, size_t count) {
    size_t first = b->ringSize - at < count ? b->ringSize - at : count;
    memcpy(bytes, b->ring + at, first);
    memcpy(static_cast<unsigned char*>(bytes) + first, b->ring, count - first);
}

size_t LineLengthAt(const LogBacklog* b, size_t at) {
    uint32_t length = 0;
    RingRead(b, at, &length, kLengthBytes);
    return length;
}

long long LineTimeAt(const LogBacklog* b, size_t at) {
    long long when = 0;
    if (b->headerBytes > kLengthBytes) RingRead(b, (at + kLengthBytes) % b->ringSize, &when, kTimeBytes);
    return when;
}

size_t Advance(const LogBacklog* b, size_t at, size_t count) {
    return (at + count) % b->ringSize;
}

// Removes the oldest kept line from the ring; returns its length.
size_t RemoveOldest(LogBacklog* b) {
    size_t length = LineLengthAt(b, b->head);
    b->head = Advance(b, b->head, b->headerBytes + length);
    b->used -= b->headerBytes + length;
    b->lines--;
    if (b->lines == 0) b->head = 0;  // an empty ring starts over at its front
    return length;
}

// Moves whole lines from the ring's head into the empty run: the first,
// then those of times in [from, to).
void FillRun(LogBacklog* b, long long from, long long to) {
    b->runLength = b->runDone = b->runLines = b->runLinesDone = 0;
    while (b->lines > 0 && b->runLines < kLogRunLines) {
        size_t length = LineLengthAt(b, b->head);
        long long when = LineTimeAt(b, b->head);
        if (b->runLength + length > b->runSize) break;
        if (b->runLines == 0)
            b->runTime = when;
        else if (when < from || when >= to)
            break;
        RingRead(b, Advance(b, b->head, b->headerBytes), b->run + b->runLength, length);
        RemoveOldest(b);
        b->runLength += length;
        b->runLineEnd[b->runLines++] = b->runLength;
    }
}

}  // namespace

bool MakeLogBacklog(LogBacklog* backlog, size_t ringSize, size_t runSize, bool timed) {
    memset(backlog, 0, sizeof *backlog);
    backlog->headerBytes = kLengthBytes + (timed ? kTimeBytes : 0);
    if (ringSize <= backlog->headerBytes || runSize == 0) return false;
    backlog->ring = static_cast<unsigned char*>(malloc(ringSize));
    backlog->run = static_cast<char*>(malloc(runSize));
    if (!backlog->ring || !backlog->run) {
        FreeLogBacklog(backlog);
        return false;
    }
    backlog->ringSize = ringSize;
    backlog->runSize = runSize;
    return true;
}

void FreeLogBacklog(LogBacklog* backlog) {
    free(backlog->ring);
    free(backlog->run);
    memset(backlog, 0, sizeof *backlog);
}

bool AppendLogLine(LogBacklog* backlog, const char* bytes, size_t length, long long when) {
    if (length == 0) return true;
    size_t need = backlog->headerBytes + length;
    if (length > backlog->runSize || need > backlog->ringSize || length > UINT32_MAX) {
        backlog->linesLost++;
        return false;
    }
    while (backlog->ringSize - backlog->used < need) {
        RemoveOldest(backlog);
        backlog->linesLost++;
    }
    size_t tail = Advance(backlog, backlog->head, backlog->used);
    uint32_t stored = static_cast<uint32_t>(length);
    RingWrite(backlog, tail, &stored, kLengthBytes);
    if (backlog->headerBytes > kLengthBytes)
        RingWrite(backlog, Advance(backlog, tail, kLengthBytes), &when, kTimeBytes);
    RingWrite(backlog, Advance(backlog, tail, backlog->headerBytes), bytes, length);
    backlog->used += need;
    backlog->lines++;
    return true;
}

bool NextLogRun(LogBacklog* backlog, const char** bytes, size_t* length) {
    return NextLogRunWithin(backlog, LLONG_MIN, LLONG_MAX, bytes, length);
}

bool NextLogRunWithin(LogBacklog* backlog, long long from, long long to, const char** bytes, size_t* length) {
    if (backlog->runDone == backlog->runLength) FillRun(backlog, from, to);
    *bytes = backlog->run + backlog->runDone;
    *length = backlog->runLength - backlog->runDone;
    return *length > 0;
}

bool NextLogTime(const LogBacklog* backlog, long long* when) {
    if (backlog->runDone < backlog->runLength) {
        *when = backlog->runTime;
        return true;
    }
    if (backlog->lines == 0) return false;
    *when = LineTimeAt(backlog, backlog->head);
    return true;
}

void LogRunWritten(LogBacklog* backlog, size_t count) {
    size_t left = backlog->runLength - backlog->runDone;
    backlog->runDone += count < left ? count : left;
    while (backlog->runLinesDone < backlog->runLines &&
           backlog->runLineEnd[backlog->runLinesDone] <= backlog->runDone) {
        backlog->runLinesDone++;
        backlog->linesWritten++;
    }
}

bool LogBacklogEmpty(const LogBacklog* backlog) {
    return backlog->lines == 0 && backlog->runDone == backlog->runLength;
}

void TakeLogCounts(LogBacklog* backlog, unsigned long long* written, unsigned long long* lost) {
    *written = backlog->linesWritten;
    *lost = backlog->linesLost;
    backlog->linesWritten = backlog->linesLost = 0;
}

const char* CheckLogBacklog(const LogBacklog* b) {
    if (!b->ring || !b->run) return "the backlog holds no memory";
    if (b->head >= b->ringSize || b->used > b->ringSize) return "head or used lies outside the ring";
    if (b->lines == 0 && (b->used != 0 || b->head != 0)) return "an empty ring holds bytes or has moved";
    size_t at = b->head, bytes = 0;
    for (size_t i = 0; i < b->lines; i++) {
        size_t length = LineLengthAt(b, at);
        if (length == 0 || length > b->runSize) return "a kept line is empty or longer than a run";
        bytes += b->headerBytes + length;
        if (bytes > b->used) return "the kept lines run past the bytes in use";
        at = Advance(b, at, b->headerBytes + length);
    }
    if (bytes != b->used) return "the kept lines do not fill the bytes in use";
    if (b->runDone > b->runLength || b->runLength > b->runSize) return "the run's counts are out of order";
    if (b->runLines > kLogRunLines || b->runLinesDone > b->runLines)
        return "the run's line counts are out of order";
    if ((b->runLines == 0) != (b->runLength == 0)) return "a run without lines, or lines without bytes";
    for (size_t i = 0; i < b->runLines; i++) {
        size_t start = i == 0 ? 0 : b->runLineEnd[i - 1];
        if (b->runLineEnd[i] <= start) return "a line of the run is empty or out of order";
        if ((i < b->runLinesDone) != (b->runLineEnd[i] <= b->runDone))
            return "lines written whole miscounted";
    }
    if (b->runLines > 0 && b->runLineEnd[b->runLines - 1] != b->runLength)
        return "the run's last line ends early";
    return nullptr;
}
