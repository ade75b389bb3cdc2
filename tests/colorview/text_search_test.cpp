// The search of CVM_FIND as pure arithmetic on bytes: one table of texts,
// patterns, options and selections with the match each must give, in code
// page 932.
#include "colorview/text_search.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/cp932_lead_bytes.h"

namespace {

const unsigned B = kSearchBackward, C = kSearchMatchCase;

TEST(FindText, MatchesWholeCharactersAroundTheSelectionOnceRound) {
    const struct {
        const char* what;
        std::string text;
        const char* pattern;
        unsigned options;
        int low, high;             // the selection
        int start, end;            // -1, -1: no match
        bool wrapped;
    } cases[] = {
        {"forward from the caret", "abc abc", "abc", 0, 0, 0, 0, 3, false},
        {"forward from the selection's end", "abc abc", "abc", 0, 0, 3, 4, 7, false},
        {"a match starting at the selection's end", "xxx", "x", 0, 1, 1, 1, 2, false},
        {"forward wraps once", "abc abc", "abc", 0, 4, 7, 0, 3, true},
        {"backward: the last before the selection", "abc abc", "abc", B, 4, 7, 0, 3, false},
        {"backward from the caret", "abc abc", "abc", B, 5, 5, 4, 7, false},
        {"backward wraps once", "abc abc", "abc", B, 0, 3, 4, 7, true},
        {"the only match is the selection: found again after wrapping", "-ab-", "ab", 0, 1, 3, 1, 3, true},
        {"ASCII letters fold", "xAbC aBc", "abc", 0, 0, 0, 1, 4, false},
        {"... but not with match case", "xAbC aBc", "aBc", C, 0, 0, 5, 8, false},
        {"a case that never matches", "ABC", "abc", C, 0, 0, -1, -1, false},
        {"digits and signs do not fold", "@1[", "`1{", 0, 0, 0, -1, -1, false},
        {"never from a trail byte", "\x83\x41", "A", 0, 0, 0, -1, -1, false},
        {"... but from the next character", "\x83\x41" "a", "A", B, 3, 3, 2, 3, false},
        {"a trail byte does not fold", "\x83\x61", "\x83\x41", 0, 0, 0, -1, -1, false},
        {"a double-byte pattern", "a\x93\xfa" "b\x93\xfa", "\x93\xfa", B, 6, 6, 4, 6, false},
        {"lead-byte values in a row pair from the left", "\x93\x93\x93\xfa", "\x93\xfa", 0, 0, 0, 2, 4, false},
        {"... so the second byte is no start", "\x93\x93\x93\xfa", "\x93\x93", 0, 1, 1, 0, 2, true},
        {"a match never ends inside a character", "a\x93\xfa", "a\x93", 0, 0, 0, -1, -1, false},
        {"a lead byte before a line break stands alone", "\x93\r\nA", "\r\na", 0, 0, 0, 1, 4, false},
        {"no match", "abc", "abd", 0, 0, 0, -1, -1, false},
        {"no match backward", "abc", "x", B, 3, 3, -1, -1, false},
        {"an empty pattern", "abc", "", 0, 0, 0, -1, -1, false},
        {"a pattern longer than the text", "ab", "abc", 0, 0, 0, -1, -1, false},
        {"a match that ends the text", "xxabc", "abc", 0, 3, 3, 2, 5, true},
    };
    const LeadBytes lead = CodePage932();
    for (const auto& c : cases) {
        TextMatch m = FindText(c.text.c_str(), static_cast<int>(c.text.size()), c.pattern, c.options, c.low, c.high,
                               &lead);
        EXPECT_EQ(m.start, c.start) << c.what;
        EXPECT_EQ(m.end, c.end) << c.what;
        EXPECT_EQ(m.wrapped, c.wrapped) << c.what;
    }
}

// The candidates are found eight bytes at a time: a match at every offset
// of a longer text, near both ends of the word loop.
TEST(FindText, FindsAMatchAtEveryOffset) {
    const LeadBytes lead = CodePage932();
    for (int at = 0; at < 40; at++) {
        std::string text(40, '.');
        text.replace(at, 1, "Q");
        for (unsigned options : {0u, B, C, B | C}) {
            int from = options & B ? 40 : 0;
            TextMatch m = FindText(text.c_str(), 40, "q", options & ~C, from, from, &lead);
            EXPECT_EQ(m.start, at) << at << " options " << options;
            m = FindText(text.c_str(), 40, options & C ? "Q" : "q", options, from, from, &lead);
            EXPECT_EQ(m.start, at) << at << " options " << options;
        }
    }
}

}  // namespace
