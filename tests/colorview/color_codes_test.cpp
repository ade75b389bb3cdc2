// Tests of the colour command: its grammar as read into attribute bytes, the
// colour-to-code conversion with its first-match rule, and whole commands.
#include "colorview/color_codes.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace {

TEST(ParseColorCommand, ReadsDigitsCommasAndStops) {
    // The colour byte starts as 0xEE so that an untouched byte shows.
    const struct {
        const char* after;
        unsigned flags, colors;
        int consumed;
    } cases[] = {
        {"12,3", 0x03, 0x3C, 4},  {"5x", 0x01, 0x05, 1},  {"", 0x04, 0xEE, 0},      {",3", 0x04, 0xEE, 0},
        {"4,", 0x01, 0x04, 2},    {"4,x", 0x01, 0x04, 2}, {"123", 0x01, 0x0C, 2},   {"17", 0x01, 0x01, 2},
        {"99,99", 0x03, 0x33, 5}, {"1,0", 0x03, 0x01, 3}, {"07,15", 0x03, 0xF7, 5}, {"0,123", 0x03, 0xC0, 4},
    };
    for (const auto& c : cases) {
        unsigned char flags = 0, colors = 0xEE;
        const char* end = ParseColorCommand(c.after, &flags, &colors);
        EXPECT_EQ(c.consumed, end - c.after) << c.after;
        EXPECT_EQ(c.flags, flags) << c.after;
        EXPECT_EQ(c.colors, colors) << c.after;
    }
}

TEST(ParseColorCommand, FlagsAccumulateColoursTakeTheLast) {
    unsigned char flags = 0, colors = 0;
    ParseColorCommand("", &flags, &colors);
    ParseColorCommand("5,6", &flags, &colors);
    EXPECT_EQ(0x07, flags);
    EXPECT_EQ(0x65, colors);
    ParseColorCommand("2", &flags, &colors);
    EXPECT_EQ(0x07, flags);
    EXPECT_EQ(0x02, colors);
}

TEST(ColorToCode, FirstPaletteMatchWins) {
    char out[4];
    for (int i = 0; i < kPaletteSize; ++i) {
        char* end = ColorToCode(PaletteColor(i), out);
        ASSERT_NE(nullptr, end);
        EXPECT_EQ('\0', *end);
        EXPECT_EQ(i == 9 ? 7 : i, atoi(out));
    }
    EXPECT_STREQ("7", (ColorToCode(0x808080, out), out));
    EXPECT_EQ(out + 2, ColorToCode(0xFF0000, out));
    EXPECT_STREQ("15", out);
}

TEST(ColorToCode, OutsideThePaletteWritesNothing) {
    char out[4] = {'Z', 'Z', 'Z', 'Z'};
    EXPECT_EQ(nullptr, ColorToCode(0x123456, out));
    EXPECT_EQ(nullptr, ColorToCode(0x01FFFFFF, out));
    EXPECT_EQ(0, memcmp(out, "ZZZZ", 4));
}

TEST(MakeColorCommand, BuildsForegroundCommaBackground) {
    char out[kColorCommandSize];
    ASSERT_TRUE(MakeColorCommand(0x0000FF, 0xFFFFFF, out));
    EXPECT_STREQ(
        "\x03"
        "1,0",
        out);
    ASSERT_TRUE(MakeColorCommand(0x808080, 0xFF0000, out));
    EXPECT_STREQ(
        "\x03"
        "7,15",
        out);
    EXPECT_FALSE(MakeColorCommand(0x123456, 0xFFFFFF, out));
    EXPECT_STREQ("", out);
    EXPECT_FALSE(MakeColorCommand(0x000080, 0x123456, out));
    EXPECT_STREQ("", out);
}

}  // namespace
