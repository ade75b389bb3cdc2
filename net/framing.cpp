// Framing of syslog over TCP: a state machine over the bytes of one
// connection. Within one call, the current frame's bytes are the reader's
// hold followed by `kept` bytes from `start` in the caller's piece; they are
// copied into the hold only when the piece ends before the frame does.
#include "net/framing.h"

#include <cstring>

namespace {

enum : unsigned char {
    kFrameStart,      // the next byte begins a frame
    kCountDigits,     // digits that may be an octet count
    kCountedMessage,  // the message of a count: `count` bytes still to come
    kLine,            // a line, up to its LF or NUL
    kLineSkip,        // an over-long line, skipped up to its LF or NUL
};

size_t Smaller(size_t a, size_t b) {
    return a < b ? a : b;
}

// The first LF or NUL among the n bytes at p, or nullptr.
const char* FindLineEnd(const char* p, size_t n) {
    const char* lf = static_cast<const char*>(memchr(p, '\n', n));
    const char* nul = static_cast<const char*>(memchr(p, '\0', lf ? static_cast<size_t>(lf - p) : n));
    return nul ? nul : lf;
}

// A line ended at LF: its last byte, wherever it lies, goes if it is a CR.
void DropCr(FrameReader* reader, const char* start, size_t* kept) {
    if (*kept > 0) {
        if (start[*kept - 1] == '\r') --*kept;
    } else if (reader->held > 0 && reader->hold[reader->held - 1] == '\r') {
        --reader->held;
    }
}

// The frame has ended: hand it over without a copy when it lies whole in
// the piece, and make the reader ready for the next one.
void GiveFrame(FrameReader* reader, const char* start, size_t kept, Frame* frame) {
    if (reader->held == 0) {
        frame->data = start;
    } else {
        memcpy(reader->hold + reader->held, start, kept);
        frame->data = reader->hold;
    }
    frame->length = reader->held + kept;
    frame->cut = reader->cut;
    reader->state = kFrameStart;
    reader->held = 0;
}

}  // namespace

void StartFrameReader(FrameReader* reader, size_t limit) {
    if (limit < kMaxCountDigits + 1) limit = kMaxCountDigits + 1;
    if (limit > kMaxFrame) limit = kMaxFrame;
    reader->state = kFrameStart;
    reader->skippedCr = false;
    reader->limit = limit;
    reader->count = 0;
    reader->held = 0;
    reader->cut = 0;
}

bool TakeFrame(FrameReader* reader, const char** next, const char* end, Frame* frame) {
    const char* p = *next;
    const char* start = p;  // the current frame's first byte in this piece
    size_t kept = 0;        // its bytes from `start` that it keeps
    while (p < end) {
        switch (reader->state) {
        case kFrameStart:
            start = p;
            kept = 0;
            reader->held = 0;
            reader->cut = 0;
            reader->count = 0;
            reader->skippedCr = false;
            reader->state = (*p >= '1' && *p <= '9') ? kCountDigits : kLine;
            break;
        case kCountDigits:
            if (*p >= '0' && *p <= '9' && reader->held + kept < kMaxCountDigits) {
                reader->count = reader->count * 10 + static_cast<size_t>(*p - '0');
                ++kept;
                ++p;
            } else if (*p == ' ') {
                // The digits were framing: the message begins behind the space.
                start = ++p;
                kept = 0;
                reader->held = 0;
                reader->state = kCountedMessage;
            } else {
                reader->state = kLine;  // the digits begin a line; this byte is looked at again there
            }
            break;
        case kCountedMessage: {
            size_t take = Smaller(reader->count, static_cast<size_t>(end - p));
            size_t keep = Smaller(take, reader->limit - reader->held - kept);
            kept += keep;
            reader->cut += take - keep;
            reader->count -= take;
            p += take;
            if (reader->count == 0) {  // never empty: a count is at least 1
                GiveFrame(reader, start, kept, frame);
                *next = p;
                return true;
            }
            break;
        }
        case kLine: {
            // Looked at: the bytes the limit leaves room for, and one more,
            // which is either the line's end or the first byte cut.
            size_t room = reader->limit - reader->held - kept;
            size_t n = Smaller(static_cast<size_t>(end - p), room + 1);
            const char* stop = FindLineEnd(p, n);
            if (stop == nullptr) {
                size_t taken = Smaller(n, room);
                kept += taken;
                p += taken;
                if (n > room) reader->state = kLineSkip;
                break;
            }
            kept += static_cast<size_t>(stop - p);
            if (*stop == '\n') DropCr(reader, start, &kept);
            p = stop + 1;
            if (reader->held + kept > 0) {
                GiveFrame(reader, start, kept, frame);
                *next = p;
                return true;
            }
            reader->state = kFrameStart;  // an empty line gives nothing
            kept = 0;
            break;
        }
        case kLineSkip: {
            const char* stop = FindLineEnd(p, static_cast<size_t>(end - p));
            const char* last = stop ? stop : end;
            // The CR before the LF belongs to the line's end, not to what was cut.
            if (last > p) reader->skippedCr = last[-1] == '\r';
            reader->cut += static_cast<size_t>(last - p);
            p = last;
            if (stop != nullptr) {
                if (*stop == '\n' && reader->skippedCr) --reader->cut;
                GiveFrame(reader, start, kept, frame);
                *next = stop + 1;
                return true;
            }
            break;
        }
        }
    }
    // The piece ends inside a frame: keep what has come of it.
    memcpy(reader->hold + reader->held, start, kept);
    reader->held += kept;
    *next = end;
    return false;
}

bool TakeLastFrame(FrameReader* reader, Frame* frame) {
    // Whatever the state, the unfinished frame is the hold: digits without
    // their space are a line's text, and a count's message so far is its frame.
    bool unfinished = reader->state != kFrameStart && reader->held > 0;
    if (unfinished) {
        frame->data = reader->hold;
        frame->length = reader->held;
        frame->cut = reader->cut;
    }
    reader->state = kFrameStart;
    reader->held = 0;
    return unfinished;
}
