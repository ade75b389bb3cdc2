// Tests of the character sets of message text: the encoding decision and
// the conversion to code page 932 for a table of texts, with the expected
// code page 932 bytes made by the system's own conversion; and the
// generated table against the system for every character of the BMP.
#include "syslog/charset.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "tests/encoding_reference.h"

namespace {

// Code page 932 bytes of `wide`, by the system, without best-fit guesses.
std::string SystemCp932(const std::wstring& wide) {
    char out[256];
    BOOL usedDefault = FALSE;
    int n = WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()), out,
                                sizeof out, nullptr, &usedDefault);
    return usedDefault ? "<no form>" : std::string(out, n > 0 ? n : 0);
}

const std::string kBom = "\xEF\xBB\xBF";
// ディスク使用率が90%を超えました (disk usage passed 90%) in UTF-8.
const std::string kDiskUtf8 =
    "\xE3\x83\x87\xE3\x82\xA3\xE3\x82\xB9\xE3\x82\xAF\xE4\xBD\xBF\xE7\x94\xA8\xE7\x8E\x87\xE3\x81\x8C"
    "90%\xE3\x82\x92\xE8\xB6\x85\xE3\x81\x88\xE3\x81\xBE\xE3\x81\x97\xE3\x81\x9F";
const wchar_t kDisk[] =
    L"\u30C7\u30A3\u30B9\u30AF\u4F7F\u7528\u7387\u304C90%\u3092\u8D85\u3048\u307E\u3057\u305F";

TEST(Charset, DecisionAndConversionToCodePage932) {
    const std::string sjis = SystemCp932(L"\u65E5\u672C\u8A9E\u306E\u30C6\u30B9\u30C8");  // 日本語のテスト
    const struct {
        CharsetMode mode;
        std::string text;
        bool marked;  // the framing carried a byte order mark
        TextEncoding encoding;
        std::string shown;  // code page 932 bytes for the view
    } cases[] = {
        {kCharsetAuto, "plain ASCII, codes \x02 \x03 \x16 and all", false, kTextAsReceived,
         "plain ASCII, codes \x02 \x03 \x16 and all"},
        {kCharsetAuto, sjis, false, kTextAsReceived, sjis},  // Shift-JIS is no valid UTF-8
        {kCharsetAuto, "jp: " + kDiskUtf8, false, kTextUtf8, "jp: " + SystemCp932(kDisk)},
        {kCharsetAuto, kBom + "only ASCII", false, kTextUtf8, "only ASCII"},
        {kCharsetAuto, kBom + "\xE6\x97\xA5 \xFF", false, kTextUtf8, SystemCp932(L"\u65E5 ?")},
        {kCharsetAuto, "marked", true, kTextUtf8, "marked"},
        {kCharsetAuto, "mid " + kBom, false, kTextUtf8, "mid ?"},  // a mark inside is a character
        // Overlong, truncated, surrogate and out-of-range sequences: each byte one '?'.
        {kCharsetAuto, "\xC0\xAF \xE6\x97\xA5", false, kTextAsReceived, "\xC0\xAF \xE6\x97\xA5"},
        {kCharsetAuto, "\xE6\x97\xA5\xE6\x97", false, kTextAsReceived, "\xE6\x97\xA5\xE6\x97"},
        {kCharsetUtf8, "\xC0\xAF|\xE0\x80\xAF|\xF0\x80\x80\xAF|\xC1\xBF", false, kTextUtf8, "??|???|????|??"},
        {kCharsetUtf8, "\xE6\x97x\xE6|\xF0\x9F\x98", false, kTextUtf8, "??x?|???"},
        {kCharsetUtf8, "\xED\xA0\x80|\xF4\x90\x80\x80|\xF8\x88\x80\x80\x80|\x80", false, kTextUtf8,
         "???|????|?????|?"},
        {kCharsetUtf8, "\x93\xFA\x96\x7B", false, kTextUtf8, "???{"},  // Shift-JIS 日本
        // Characters without a code page 932 form; the look-alikes that have one.
        {kCharsetAuto, "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80 \xC2\x80", false, kTextUtf8, "caf? ? ? ?"},
        {kCharsetAuto, "\xE3\x80\x9C\xE2\x80\x96\xE2\x88\x92\xC2\xA2\xC2\xA3\xC2\xAC", false, kTextUtf8,
         SystemCp932(L"\uFF5E\u2225\uFF0D\uFFE0\uFFE1\uFFE2")},
        {kCharsetAuto, "\xEF\xBD\xB6\xEF\xBE\x9F", false, kTextUtf8, SystemCp932(L"\uFF76\uFF9F")},  // ｶﾟ
        // EUC-JP: only when chosen; the 0x8E kana, a JIS X 0212 triple, stray bytes.
        {kCharsetAuto, "\xC6\xFC\xCB\xDC\xB8\xEC", false, kTextAsReceived, "\xC6\xFC\xCB\xDC\xB8\xEC"},
        {kCharsetEucJp, "\xC6\xFC\xCB\xDC\xB8\xEC \x8E\xB6 \x8F\xB0\xA1 \xA1\xA1\xFE\xFE", false, kTextEucJp,
         SystemCp932(L"\u65E5\u672C\u8A9E \uFF76 ? \u3000") + "\xEF\xFC"},
        {kCharsetEucJp, "\x8E\x41 \x8F\xB0 \xC6 \x80\xFF", false, kTextEucJp, "?A ?? ? ??"},
        // Shift_JIS: never converted, a mark and all.
        {kCharsetShiftJis, kBom + kDiskUtf8, true, kTextAsReceived, kBom + kDiskUtf8},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        TextEncoding encoding = ReferenceEncoding(c.mode, c.text.data(), c.text.size(), c.marked);
        EXPECT_EQ(c.encoding, encoding);
        std::string out(c.text.size() + 16, '\x01');
        size_t n = ConvertToCp932(encoding, c.text.data(), c.text.size(), &out[0]);
        EXPECT_EQ(c.shown, out.substr(0, n));
        EXPECT_EQ(std::string(16, '\x01'), out.substr(c.text.size()));  // never longer than the text
        // The formatter's one pass decides and converts alike.
        std::string view(c.text.size() + 16, '\x01');
        size_t written = 0;
        EXPECT_EQ(c.encoding,
                  ConvertForView(c.mode, c.text.data(), c.text.size(), c.marked, &view[0], &written));
        if (c.encoding != kTextAsReceived) {
            EXPECT_EQ(c.shown, view.substr(0, written));
        }
        EXPECT_EQ(std::string(16, '\x01'), view.substr(c.text.size()));
    }
}

// The table and the look-alikes against the system, character by character:
// the same bytes or, where the system has none, none. The only differences
// are deliberate: the look-alikes take the forms of the characters the
// system converts, and no single byte other than ASCII and half-width
// katakana is ever produced.
TEST(Charset, EveryBmpCharacterAsTheSystemConvertsIt) {
    const struct {
        wchar_t lookAlike, systemForm;
    } lookAlikes[] = {
        {0x301C, 0xFF5E}, {0x2016, 0x2225}, {0x2212, 0xFF0D},
        {0x00A2, 0xFFE0}, {0x00A3, 0xFFE1}, {0x00AC, 0xFFE2},
    };
    int mapped = 0;
    for (unsigned c = 0; c <= 0xFFFF; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF) continue;
        wchar_t wide = static_cast<wchar_t>(c);
        for (const auto& l : lookAlikes)
            if (l.lookAlike == wide) wide = l.systemForm;
        std::string system = SystemCp932(std::wstring(1, wide));
        if (system.size() == 1 && static_cast<unsigned char>(system[0]) >= 0x80 &&
            !(static_cast<unsigned char>(system[0]) >= 0xA1 && static_cast<unsigned char>(system[0]) <= 0xDF))
            system = "<no form>";
        int code = Cp932FromUnicode(c);
        std::string ours = code < 0 ? "<no form>"
                           : code < 0x100
                               ? std::string(1, static_cast<char>(code))
                               : std::string{static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
        EXPECT_EQ(system, ours) << "U+" << std::hex << c;
        mapped += code >= 0;
    }
    EXPECT_GT(mapped, 9000);  // JIS X 0208, the vendor rows and the user-defined area
}

}  // namespace
