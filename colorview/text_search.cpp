// The search of CVM_FIND: candidates are the positions of the pattern's
// first byte, found eight bytes at a time; each is then checked to be a
// character start and compared character by character.
#include "colorview/text_search.h"

#include <cstdint>
#include <cstring>

namespace {

const uint64_t kOnes = 0x0101010101010101ull;
const uint64_t kHighs = kOnes * 0x80;

bool IsAsciiLetter(unsigned char c) {
    return (c | 0x20) >= 'a' && (c | 0x20) <= 'z';
}

// What a candidate's first byte must be: `first` itself, or, folding case,
// either case of a letter (c | 0x20 is the lower case of both, and of no
// other byte).
struct FirstByte {
    unsigned char value;  // lower case when folding
    unsigned char fold;   // 0x20 when folding, else 0
    bool Matches(unsigned char c) const { return (c | fold) == value; }
    // True when one of the eight bytes may match (exact for the word as a whole).
    bool InWord(uint64_t bytes) const {
        uint64_t v = (bytes | kOnes * fold) ^ (kOnes * value);
        return ((v - kOnes) & ~v & kHighs) != 0;
    }
};

// The first p in [from, to) whose byte matches, or -1.
int NextCandidate(const unsigned char* text, int from, int to, const FirstByte& first) {
    for (; from + 8 <= to; from += 8) {
        uint64_t bytes;
        memcpy(&bytes, text + from, 8);
        if (first.InWord(bytes)) break;
    }
    for (; from < to; from++) {
        if (first.Matches(text[from])) return from;
    }
    return -1;
}

// The last p in [from, to) whose byte matches, or -1.
int PreviousCandidate(const unsigned char* text, int from, int to, const FirstByte& first) {
    for (; to - 8 >= from; to -= 8) {
        uint64_t bytes;
        memcpy(&bytes, text + to - 8, 8);
        if (first.InWord(bytes)) break;
    }
    for (; to > from; to--) {
        if (first.Matches(text[to - 1])) return to - 1;
    }
    return -1;
}

// True when `p` starts a character. The byte before a run of lead-byte
// values ends a character (alone or as a trail byte), so the character walk
// starts there; lead-byte values are the only bytes whose role depends on
// what comes before.
bool IsCharStart(const char* text, int p, const LeadBytes* leadBytes) {
    int s = p;
    while (s > 0 && leadBytes->lead[static_cast<unsigned char>(text[s - 1])]) s--;
    while (s < p) s += CharBytesIn(leadBytes, text, s);
    return s == p;
}

// True when the characters from `p` on spell `pattern` (n bytes).
bool MatchesAt(const char* text, int length, int p, const char* pattern, int n, bool matchCase,
               const LeadBytes* leadBytes) {
    for (int i = 0; i < n;) {
        if (p >= length) return false;
        const unsigned char c = static_cast<unsigned char>(text[p]), want = static_cast<unsigned char>(pattern[i]);
        if (CharBytesIn(leadBytes, text, p) == 2) {
            if (i + 1 >= n || c != want || text[p + 1] != pattern[i + 1]) return false;
            i += 2;
            p += 2;
            continue;
        }
        if (c != want && (matchCase || !IsAsciiLetter(c) || (c ^ 0x20) != want)) return false;
        i++;
        p++;
    }
    return true;
}

// The first (or, backward, the last) match starting in [from, to).
int Search(const char* text, int length, const char* pattern, int n, bool backward, bool matchCase, int from,
           int to, const LeadBytes* leadBytes) {
    const unsigned char c = static_cast<unsigned char>(pattern[0]);
    const bool fold = !matchCase && IsAsciiLetter(c);
    const FirstByte first = {static_cast<unsigned char>(fold ? c | 0x20 : c), static_cast<unsigned char>(fold ? 0x20 : 0)};
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
    if (to > length - n + 1) to = length - n + 1;
    if (from < 0) from = 0;
    while (from < to) {
        int p = backward ? PreviousCandidate(bytes, from, to, first) : NextCandidate(bytes, from, to, first);
        if (p < 0) return -1;
        if (IsCharStart(text, p, leadBytes) && MatchesAt(text, length, p, pattern, n, matchCase, leadBytes)) return p;
        if (backward)
            to = p;
        else
            from = p + 1;
    }
    return -1;
}

}  // namespace

TextMatch FindText(const char* text, int length, const char* pattern, unsigned options, int selectionLow,
                   int selectionHigh, const LeadBytes* leadBytes) {
    TextMatch m = {-1, -1, false};
    const int n = static_cast<int>(strlen(pattern));
    if (n == 0 || n > length) return m;
    const bool backward = (options & kSearchBackward) != 0, matchCase = (options & kSearchMatchCase) != 0;
    // Once round: what the first part leaves out, the second covers.
    if (backward) {
        m.start = Search(text, length, pattern, n, true, matchCase, 0, selectionLow, leadBytes);
        if (m.start < 0) {
            m.start = Search(text, length, pattern, n, true, matchCase, selectionLow, length, leadBytes);
            m.wrapped = m.start >= 0;
        }
    } else {
        m.start = Search(text, length, pattern, n, false, matchCase, selectionHigh, length, leadBytes);
        if (m.start < 0) {
            m.start = Search(text, length, pattern, n, false, matchCase, 0, selectionHigh, leadBytes);
            m.wrapped = m.start >= 0;
        }
    }
    m.end = m.start >= 0 ? m.start + n : -1;
    return m;
}
