// libFuzzer target for the TCP framing. The input is one connection's byte
// stream. It is fed whole, byte by byte, and in pieces whose sizes come from
// a hash of the input, each piece in an exactly sized heap block of its own
// so that AddressSanitizer catches a read outside it; the frame limit comes
// from the same hash (small ones reach the cut, most inputs are shorter than
// kMaxFrame). Every way must give the same frames and cut counts.
#include "net/framing.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tests/fuzz/fuzz_target.h"

extern const char kTargetName[] = "framing";

namespace {

uint64_t NextRandom(uint64_t* state) {  // xorshift64
    *state ^= *state << 13;
    *state ^= *state >> 7;
    *state ^= *state << 17;
    return *state;
}

struct Taken {
    std::string text;
    size_t cut;
    bool operator==(const Taken& other) const { return text == other.text && cut == other.cut; }
};

FrameReader g_reader;  // 64 KiB: one for the whole run

void Keep(const Frame& frame, size_t limit, std::vector<Taken>* taken) {
    Check(frame.length >= 1 && frame.length <= limit && limit <= kMaxFrame, "frame length within 1 to the limit");
    taken->push_back({std::string(frame.data, frame.length), frame.cut});
}

// Feeds the stream in pieces of the given sizes (their sum is its size).
std::vector<Taken> Feed(const uint8_t* data, const std::vector<size_t>& sizes, size_t limit) {
    StartFrameReader(&g_reader, limit);
    std::vector<Taken> taken;
    Frame frame;
    size_t from = 0;
    for (size_t size : sizes) {
        char* piece = static_cast<char*>(malloc(size ? size : 1));
        memcpy(piece, data + from, size);
        const char* next = piece;
        while (TakeFrame(&g_reader, &next, piece + size, &frame)) {
            // One piece: every frame that has ended lies whole in it.
            if (sizes.size() == 1) Check(frame.data >= piece && frame.data < piece + size, "no copy in one piece");
            Keep(frame, limit, &taken);
        }
        Check(next == piece + size, "the piece is used up");
        free(piece);
        from += size;
    }
    if (TakeLastFrame(&g_reader, &frame)) Keep(frame, limit, &taken);
    Check(!TakeLastFrame(&g_reader, &frame), "the close gives its frame once");
    return taken;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    uint64_t random = Hash(data, size) | 1;
    size_t limit = NextRandom(&random) % 4 == 0 ? kMaxFrame : kMaxCountDigits + 1 + NextRandom(&random) % 200;
    StartFrameReader(&g_reader, limit);
    limit = g_reader.limit;

    std::vector<Taken> whole = Feed(data, {size}, limit);
    size_t accounted = 0;
    for (const Taken& t : whole) accounted += t.text.size() + t.cut;
    Check(accounted <= size, "frames and cuts come from the stream's bytes");

    std::vector<size_t> pieces;
    for (size_t left = size; left > 0;) {
        size_t n = 1 + NextRandom(&random) % (size_t{1} << (NextRandom(&random) % 12));
        if (n > left) n = left;
        pieces.push_back(n);
        left -= n;
    }
    Check(Feed(data, pieces, limit) == whole, "random pieces give the same frames");
    Check(Feed(data, std::vector<size_t>(size, 1), limit) == whole, "single bytes give the same frames");
    return 0;
}
