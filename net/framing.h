// Framing of syslog over TCP: cuts the byte stream of one connection, which
// arrives in pieces of any size, into frames; each frame becomes one entry,
// as one datagram does. The form is decided per frame, by its first bytes:
//   LEN SP MSG      octet counting: LEN is a digit 1-9 and at most 8 more
//                   digits, MSG exactly LEN bytes of any value
//   MSG [CR] LF     line framing, for anything else, from the frame's first
//   MSG NUL         byte up to the first LF (a CR right before it is dropped)
//                   or NUL
// Bad input is never refused. Bytes that fit no count (a 0 first, ten digits,
// digits without their space) begin a line, so garbage between frames is a
// frame of its own. A line that is empty once its CR is dropped gives no
// frame. A frame longer than the reader's limit gives its first `limit`
// bytes; the rest of it is skipped (by its count, or up to its LF or NUL)
// and counted in `cut`. When the peer closes, what has come of an unfinished
// frame is a frame too: digits still waiting for their space are the text of
// a line, and a count whose message has not begun gives nothing.
// Pure code: no window or socket headers, so it builds and tests natively too.
#pragma once

#include <cstddef>

enum {
    kMaxFrame = 65536,     // the program's limit: longer frames are cut
    kMaxCountDigits = 9,   // digits of an octet count
};

// One frame, handed over once its end has been read, so that an over-long
// frame comes with its cut count. `data` lies inside the caller's piece when
// the whole frame did (no copy), otherwise in the reader's hold; either way
// it stays valid until the next call on the reader.
struct Frame {
    const char* data;
    size_t length;  // 1 to the reader's limit
    size_t cut;     // bytes skipped beyond the limit
};

// The state of one connection. Only a frame that spans pieces is copied,
// into `hold`, which is why a reader is as large as the longest frame.
struct FrameReader {
    unsigned char state;   // the part of a frame the next byte belongs to
    bool skippedCr;        // the last byte skipped of an over-long line was a CR
    size_t limit;          // kMaxFrame in the program; tests use small ones to reach the cut
    size_t count;          // a count's value while its digits come, then the message bytes still to come
    size_t held;           // bytes of the current frame in `hold`
    size_t cut;            // bytes of the current frame skipped so far
    char hold[kMaxFrame];
};

// Makes the reader ready for a new connection. The limit is clamped to
// kMaxCountDigits + 1 .. kMaxFrame, so that a count's digits are never cut.
void StartFrameReader(FrameReader* reader, size_t limit);

// Reads from the piece [*next, end) up to the end of the next non-empty
// frame: true with the frame, *next behind it. False when the piece is used
// up without one; what has come of an unfinished frame is then kept, so the
// caller may reuse the piece's memory before the next piece.
bool TakeFrame(FrameReader* reader, const char** next, const char* end, Frame* frame);

// After the peer has closed: the unfinished frame, if any, and the reader is
// ready for a new stream.
bool TakeLastFrame(FrameReader* reader, Frame* frame);
