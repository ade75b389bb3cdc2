// libFuzzer target for the colour command: the reader over arbitrary bytes
// after a 0x03 (in an exactly sized heap buffer), and the way back from
// colours to codes and commands, plain and closed, read again by the reader.
// Input: [8 bytes of colour choice] then the bytes after the 0x03.
#include "colorview/color_codes.h"
#include "syslog/entry_text.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tests/fuzz/fuzz_target.h"

extern const char kTargetName[] = "colour code";

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// A palette entry when bit 7 of the first byte is set (so that most choices
// are codable), else any 32-bit value.
ColorValue ChooseColor(const uint8_t* bytes) {
    if (bytes[0] & 0x80) return PaletteColor(bytes[0] & 0x0F);
    return static_cast<ColorValue>(bytes[0]) | static_cast<ColorValue>(bytes[1]) << 8 |
           static_cast<ColorValue>(bytes[2]) << 16 | static_cast<ColorValue>(bytes[3]) << 24;
}

// The first palette index of a colour, or -1.
int FirstIndex(ColorValue color) {
    for (int i = 0; i < kPaletteSize; ++i)
        if (PaletteColor(i) == color) return i;
    return -1;
}

void CheckReader(const uint8_t* data, size_t size) {
    char* after = static_cast<char*>(malloc(size + 1));
    memcpy(after, data, size);
    after[size] = '\0';
    unsigned char flags = 0, colors = 0x5A;
    const char* end = ParseColorCommand(after, &flags, &colors);
    size_t consumed = static_cast<size_t>(end - after);
    Check(end >= after && consumed <= strlen(after) && consumed <= 5, "command end inside its bytes");
    Check(flags != 0 && (flags & ~0x07) == 0, "only colour flags");
    if (flags & kAttrReset) {
        Check(flags == kAttrReset && consumed == 0 && colors == 0x5A, "a reset reads and changes nothing");
    } else {
        Check(IsDigit(after[0]), "a command starts with a digit");
        int fore = after[0] - '0';
        if (IsDigit(after[1])) fore = fore * 10 + after[1] - '0';
        Check((colors & 0x0F) == fore % kPaletteSize, "foreground index of the digits");
        for (size_t i = 0; i < consumed; ++i)
            Check(IsDigit(after[i]) || after[i] == ',', "digits and commas");
    }
    free(after);
}

void CheckCodes(ColorValue fore, ColorValue back, const uint8_t* tail, size_t tailSize) {
    char* code = static_cast<char*>(malloc(3));  // the longest code, "15", and its NUL
    char* end = ColorToCode(fore, code);
    int index = FirstIndex(fore);
    Check((end == nullptr) == (index < 0), "a code exactly for palette colours");
    if (end != nullptr) {
        Check(end == code + (index >= 10 ? 2 : 1) && *end == '\0' && atoi(code) == index,
              "the code is the first palette index");
    }
    free(code);

    char command[kColorCommandSize];
    bool codable = FirstIndex(fore) >= 0 && FirstIndex(back) >= 0;
    Check(MakeColorCommand(fore, back, command) == codable, "a command exactly for palette colours");
    char closed[kColorCommandSize];
    Check(MakeClosedColorCommand(fore, back, closed) == codable,
          "a closed command exactly for palette colours");
    if (!codable) return;
    unsigned expected = static_cast<unsigned>(FirstIndex(fore) | FirstIndex(back) << 4);
    for (const char* c : {command, closed}) {
        unsigned char flags = 0, colors = 0;
        Check(c[0] == static_cast<char>(kCodeColor), "a command starts with 0x03");
        const char* stop = ParseColorCommand(c + 1, &flags, &colors);
        Check(*stop == '\0' && flags == (kAttrFore | kAttrBack) && colors == expected,
              "a command reads back");
    }
    // A closed command followed by any text ends where it ends.
    std::string joined = std::string(closed + 1) + std::string(reinterpret_cast<const char*>(tail), tailSize);
    char* buffer = static_cast<char*>(malloc(joined.size() + 1));
    memcpy(buffer, joined.c_str(), joined.size() + 1);
    unsigned char flags = 0, colors = 0;
    const char* stop = ParseColorCommand(buffer, &flags, &colors);
    Check(stop == buffer + strlen(closed + 1) && colors == expected,
          "a closed command takes no following byte");
    free(buffer);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 8) {
        CheckReader(data, size);
        return 0;
    }
    CheckReader(data + 8, size - 8);
    CheckCodes(ChooseColor(data), ChooseColor(data + 4), data + 8, size - 8);
    return 0;
}
