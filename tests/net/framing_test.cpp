// Tests of the TCP framing: byte streams against the frames and cut counts
// they must give, each stream fed whole, byte by byte, and cut in two at
// every point; the pieces must never change the frames.
#include "net/framing.h"

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace {

struct Taken {
    std::string text;
    size_t cut;
    bool operator==(const Taken& other) const { return text == other.text && cut == other.cut; }
};

void PrintTo(const Taken& t, std::ostream* out) {
    if (t.text.size() <= 40) *out << '"' << t.text << '"';
    else *out << '"' << t.text.substr(0, 20) << "...\" (" << t.text.size() << " bytes)";
    *out << " cut " << t.cut;
}

struct StreamCase {
    const char* name;
    size_t limit;
    std::string stream;
    std::vector<Taken> frames;
};

// "0123456789" repeated: a cut in the wrong place changes the text.
std::string Digits(size_t n) {
    std::string s(n, '0');
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>('0' + i % 10);
    return s;
}

const std::string k16 = "0123456789abcdef";

std::vector<StreamCase> Cases() {
    const std::string big = Digits(70000);
    return {
        {"line ends: LF, CR LF, NUL; one CR dropped", kMaxFrame,
         std::string("<13>one\n<14>two\r\nthree\0four\r\r\n", 30),
         {{"<13>one", 0}, {"<14>two", 0}, {"three", 0}, {"four\r", 0}}},
        {"empty lines give nothing; a CR before NUL stays", kMaxFrame, std::string("\n\r\n\0\r\0x\n\n", 9),
         {{"\r", 0}, {"x", 0}}},
        {"octet counting keeps every byte of the message", kMaxFrame, "5 hello3 a\r\n10 line\nbreak",
         {{"hello", 0}, {"a\r\n", 0}, {"line\nbreak", 0}}},
        {"both framings in one stream", kMaxFrame, "3 abcdef\n4 ghij\r\n<13>x\n",
         {{"abc", 0}, {"def", 0}, {"ghij", 0}, {"<13>x", 0}}},
        {"no count: 0, a leading 0, no space, ten digits, a space first", kMaxFrame,
         "0 zero\n05 lead\n12x\n12\n 3 abc\n1234567890 ten\n",
         {{"0 zero", 0}, {"05 lead", 0}, {"12x", 0}, {"12", 0}, {" 3 abc", 0}, {"1234567890 ten", 0}}},
        {"nine digits are a count; the close ends its message", kMaxFrame, "100000000 abc", {{"abc", 0}}},
        {"an unfinished line at the close", kMaxFrame, "<1>a\n<13>unfinished\r", {{"<1>a", 0}, {"<13>unfinished\r", 0}}},
        {"digits without their space at the close", kMaxFrame, "<1>a\n12", {{"<1>a", 0}, {"12", 0}}},
        {"a count without its message at the close", kMaxFrame, "<1>a\n12 ", {{"<1>a", 0}}},
        {"over-long lines", 16, "0123456789abcdefXYZ\nok\n123456789abcdefghij\n",
         {{k16, 3}, {"ok", 0}, {"123456789abcdefg", 3}}},
        {"over-long lines and their CR", 16, "0123456789abcdefX\r\n0123456789abcdef\r\n0123456789abcde\r\r\n",
         {{k16, 1}, {k16, 0}, {"0123456789abcde\r", 0}}},
        {"an over-long line ending in NUL", 16, std::string("0123456789abcdefXY\r\0z\n", 22), {{k16, 3}, {"z", 0}}},
        {"over-long and exactly full counted frames", 16, "20 0123456789abcdefghij16 " + k16 + "4 abcd",
         {{k16, 4}, {k16, 0}, {"abcd", 0}}},
        {"an over-long line at the close", 16, "0123456789abcdefXYZ", {{k16, 3}}},
        {"an over-long counted frame at the close", 16, "30 0123456789abcdefXYZ", {{k16, 3}}},
        {"the program's limit", kMaxFrame,
         "70000 " + big + big.substr(0, kMaxFrame + 5) + "\n" + big.substr(0, kMaxFrame) + "\r\n",
         {{big.substr(0, kMaxFrame), 70000 - kMaxFrame}, {big.substr(0, kMaxFrame), 5}, {big.substr(0, kMaxFrame), 0}}},
    };
}

// Feeds the stream in pieces that end at `ends` (the last at its size),
// then closes it. With one piece, every frame before the close must have
// been handed over without a copy.
std::vector<Taken> Feed(FrameReader* reader, size_t limit, const std::string& stream,
                        const std::vector<size_t>& ends) {
    StartFrameReader(reader, limit);
    std::vector<Taken> taken;
    Frame frame;
    size_t from = 0;
    for (size_t to : ends) {
        const char* next = stream.data() + from;
        const char* end = stream.data() + to;
        while (TakeFrame(reader, &next, end, &frame)) {
            taken.push_back({std::string(frame.data, frame.length), frame.cut});
            if (ends.size() == 1) {
                EXPECT_TRUE(frame.data >= stream.data() && frame.data < end) << "copied";
            }
        }
        EXPECT_EQ(next, end);
        from = to;
    }
    if (TakeLastFrame(reader, &frame)) taken.push_back({std::string(frame.data, frame.length), frame.cut});
    EXPECT_FALSE(TakeLastFrame(reader, &frame)) << "the close is given once";
    return taken;
}

TEST(TakeFrame, StreamsGiveTheirFramesWhateverThePieces) {
    auto reader = std::make_unique<FrameReader>();  // too large for the stack
    for (const StreamCase& c : Cases()) {
        SCOPED_TRACE(c.name);
        const size_t size = c.stream.size();
        EXPECT_EQ(Feed(reader.get(), c.limit, c.stream, {size}), c.frames) << "whole";
        std::vector<size_t> bytes;
        for (size_t i = 1; i <= size; ++i) bytes.push_back(i);
        EXPECT_EQ(Feed(reader.get(), c.limit, c.stream, bytes), c.frames) << "byte by byte";
        // Long streams are cut at a stride; the short rows reach every state boundary.
        for (size_t cut = 1; cut < size; cut += size > 4096 ? 61 : 1) {
            ASSERT_EQ(Feed(reader.get(), c.limit, c.stream, {cut, size}), c.frames) << "cut at " << cut;
        }
    }
}

}  // namespace
