// Tests of the settings file's text: file texts, corrupt ones among them,
// each with the settings it gives and the status lines it writes; and the
// text written for a record reading back as the same record. Texts are
// written in UTF-8 here and compared as Shift-JIS.
#include "app/settings.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/test_texts.h"

namespace {

const char kPath[] = "C:\\ornivel\\ornivel.ini";

void ExpectSame(const Settings& expected, const Settings& got) {
    EXPECT_EQ(expected.hasWindow, got.hasWindow);
    EXPECT_EQ(expected.left, got.left);
    EXPECT_EQ(expected.top, got.top);
    EXPECT_EQ(expected.right, got.right);
    EXPECT_EQ(expected.bottom, got.bottom);
    EXPECT_EQ(expected.maximized, got.maximized);
    EXPECT_EQ(expected.mask, got.mask);
    EXPECT_EQ(expected.charset, got.charset);
    EXPECT_STREQ(expected.filter, got.filter);
    EXPECT_STREQ(expected.alert, got.alert);
    EXPECT_EQ(expected.alertBalloon, got.alertBalloon);
    EXPECT_EQ(expected.alertSound, got.alertSound);
    EXPECT_EQ(expected.alertFlash, got.alertFlash);
    EXPECT_STREQ(expected.find, got.find);
    EXPECT_EQ(expected.findMatchCase, got.findMatchCase);
    EXPECT_EQ(expected.tray, got.tray);
}

struct FileCase {
    const char* what;
    std::string text;                       // UTF-8
    std::function<void(Settings*)> change;  // from the defaults
    std::vector<std::string> notes;         // UTF-8
};

std::string Line(int n, const std::string& rest) {
    return std::string("設定ファイル ") + kPath + " の " + std::to_string(n) + " 行目" + rest;
}

TEST(ReadSettings, FileTextsGiveSettingsAndStatusLines) {
    const std::string tooLong = "find=" + std::string(kSettingTextSize, 'x');
    std::string garbage;
    for (int i = 0; i < 12; i++) garbage += "\x01\x1f junk " + std::to_string(i) + "\n";
    const FileCase cases[] = {
        {"an empty file", "", [](Settings*) {}, {}},
        {"every setting, CR LF, spaces around keys, comments",
         "\xEF\xBB\xBF[ornivel]\r\n; comment\r\n# comment\r\n\r\nwindow=-1920,10,-900,700\r\n maximized =1\r\n"
         "mask=1\r\ncharset=UTF8\r\nfilter=host:gw1 -\"link down\"\r\nalert=sev:err\r\nalert_balloon=0\r\n"
         "alert_sound=0\r\nalert_flash=1\r\nfind= 表示 \r\nfind_case=1\r\ntray=1",
         [](Settings* s) {
             *s = Settings{true, -1920, 10, -900, 700, true, true, kCharsetUtf8, "", "", false, false, true,
                           "", true, true};
             strcpy(s->filter, "host:gw1 -\"link down\"");
             strcpy(s->alert, "sev:err");
             strcpy(s->find, Sjis(" 表示 ").c_str());
         },
         {}},
        {"the last line of a key counts, a bad one gives the default",
         "mask=1\ncharset=eucjp\ncharset=latin1\nwindow=0,0,10,10\nwindow=0,0,10\nfind=a\nfind=\n"
         "filter=sev:err\nalert=sev:err\nalert=\"unclosed",
         [](Settings* s) {
             s->mask = true;
             strcpy(s->filter, "sev:err");
         },
         {Line(3, ": charset の値「latin1」は使えないため、既定値にします。"),
          Line(5, ": window の値「0,0,10」は使えないため、既定値にします。"),
          Line(10, ": alert の値「\"unclosed」は使えないため、既定値にします。")}},
        {"bad values, unknown keys, lines that are no settings",
         "window=10,20,5,40\nmaximized=yes\ntray=1\nalert_sound=\ncolour=red\njust text\n" + tooLong +
             "\nwindow=0,0,99999,10\n" + std::string("mask\0=1\n", 8),
         [](Settings* s) {
             s->tray = true;
         },
         {Line(1, ": window の値「10,20,5,40」は使えないため、既定値にします。"),
          Line(2, ": maximized の値「yes」は使えないため、既定値にします。"),
          Line(4, ": alert_sound の値「」は使えないため、既定値にします。"),
          Line(5, "「colour=red」を読めないため、無視します。"), Line(6, "「just text」を読めないため、無視します。"),
          Line(7, ": find の値「" + std::string(96, 'x') + "...」は使えないため、既定値にします。"),
          Line(8, ": window の値「0,0,99999,10」は使えないため、既定値にします。"),
          Line(9, "「mask?=1」を読めないため、無視します。")}},
        {"garbage: the lines past the slots are counted", garbage, [](Settings*) {},
         {Line(1, "「?? junk 0」を読めないため、無視します。"), Line(2, "「?? junk 1」を読めないため、無視します。"),
          Line(3, "「?? junk 2」を読めないため、無視します。"), Line(4, "「?? junk 3」を読めないため、無視します。"),
          Line(5, "「?? junk 4」を読めないため、無視します。"), Line(6, "「?? junk 5」を読めないため、無視します。"),
          Line(7, "「?? junk 6」を読めないため、無視します。"),
          std::string("設定ファイル ") + kPath + " にはほかにも使えない行が 5 行あります。"}},
    };
    for (const FileCase& c : cases) {
        SCOPED_TRACE(c.what);
        // A UTF-8 byte order mark has no form in code page 932: it stays as it is.
        const std::string bom = "\xEF\xBB\xBF";
        std::string text = c.text.compare(0, 3, bom) == 0 ? bom + Sjis(c.text.substr(3)) : Sjis(c.text);
        Settings expected, got;
        DefaultSettings(&expected);
        c.change(&expected);
        SettingsNotes notes;
        ReadSettings(text.data(), text.size(), kPath, &got, &notes);
        ExpectSame(expected, got);
        ASSERT_EQ(c.notes.size(), static_cast<size_t>(notes.count));
        for (size_t i = 0; i < c.notes.size(); i++)
            EXPECT_EQ(Sjis(c.notes[i]), std::string(notes.lines[i])) << "status line " << i;
    }
}

TEST(FormatSettings, TheTextWrittenReadsBackAsTheSameSettings) {
    Settings s;
    DefaultSettings(&s);
    Settings withEverything = {true, -5, 0, 1200, 800, true, true, kCharsetEucJp, "", "", false, true, false,
                               "", true, true};
    strcpy(withEverything.filter, Sjis("host:=ルータ1 \"リンク ダウン\" -sev:debug").c_str());
    strcpy(withEverything.alert, "fac:local7 sev:=crit");
    strcpy(withEverything.find, Sjis("表=\\").c_str());
    for (const Settings* original : {&s, &withEverything}) {
        char text[4 * kSettingTextSize];
        size_t length = FormatSettings(original, text, sizeof text);
        ASSERT_GT(length, 0u);
        EXPECT_EQ(strlen(text), length);
        Settings back;
        SettingsNotes notes;
        ReadSettings(text, length, kPath, &back, &notes);
        EXPECT_EQ(0, notes.count) << notes.lines[0];
        ExpectSame(*original, back);
    }
    // A line end in a text stays inside its line; a buffer too small gives nothing.
    strcpy(s.find, "a\r\nmask=1");
    char text[4 * kSettingTextSize];
    size_t length = FormatSettings(&s, text, sizeof text);
    EXPECT_NE(nullptr, strstr(text, "\r\nfind=a  mask=1\r\n"));
    Settings back;
    SettingsNotes notes;
    ReadSettings(text, length, kPath, &back, &notes);
    EXPECT_FALSE(back.mask);
    EXPECT_STREQ("a  mask=1", back.find);
    EXPECT_EQ(0u, FormatSettings(&withEverything, text, 40));
    EXPECT_STREQ("", text);
}

}  // namespace
