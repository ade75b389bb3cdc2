// Tests of the command-line options: command lines as the C run-time splits
// them, each with the record it gives or the argument it refuses and why.
// The expected texts are written in UTF-8 here and compared as Shift-JIS.
#include "app/options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/test_texts.h"

namespace {

// Reads argv = "ornivel.exe" followed by `args`, given in UTF-8.
bool Read(const std::vector<std::string>& args, Options* options, std::vector<std::string>* storage) {
    storage->assign(1, "ornivel.exe");
    for (const std::string& a : args) storage->push_back(Sjis(a));
    std::vector<const char*> argv;
    for (const std::string& a : *storage) argv.push_back(a.c_str());
    return ReadOptions(static_cast<int>(argv.size()), argv.data(), options);
}

struct GoodCase {
    std::vector<std::string> args;
    const char* logPath;  // UTF-8, as the other texts
    int port, maxLines;
    CharsetMode charset;
    bool help;
    int keepDays = kKeepEveryDay;
    const char* filter = nullptr;  // UTF-8
};

TEST(ReadOptions, GoodCommandLinesGiveTheirSettings) {
    const GoodCase cases[] = {
        {{}, "messages", 514, 1000000, kCharsetAuto, false},
        {{"--log", "ログ\\記録.txt", "--port=5140"}, "ログ\\記録.txt", 5140, 1000000, kCharsetAuto, false},
        {{"--log=Z:\\full disk\\messages"}, "Z:\\full disk\\messages", 514, 1000000, kCharsetAuto, false},
        {{"--log", "-", "--log==x"}, "=x", 514, 1000000, kCharsetAuto, false},
        {{"--port", "1", "--port", "65535", "--port=007"}, "messages", 7, 1000000, kCharsetAuto, false},
        {{"--max-lines", "0", "--charset", "SJIS"}, "messages", 514, 0, kCharsetShiftJis, false},
        {{"--max-lines=2147483647", "--charset=utf8"}, "messages", 514, 2147483647, kCharsetUtf8, false},
        {{"--charset", "EucJp", "--help", "--port", "600"}, "messages", 600, 1000000, kCharsetEucJp, true},
        {{"--log", "ログ\\%Y-%m-%d.log", "--keep-days", "30"},
         "ログ\\%Y-%m-%d.log",
         514,
         1000000,
         kCharsetAuto,
         false,
         30},
        {{"--keep-days=0", "--log=%H%%"}, "%H%%", 514, 1000000, kCharsetAuto, false, 0},
        {{"--log", "100%%.log"}, "100%%.log", 514, 1000000, kCharsetAuto, false},
        {{"--filter", "-host:=nas \"link down\""}, "messages", 514, 1000000, kCharsetAuto, false, kKeepEveryDay,
         "-host:=nas \"link down\""},
        {{"--filter=host:gw", "--filter", "ディスク"}, "messages", 514, 1000000, kCharsetAuto, false, kKeepEveryDay,
         "ディスク"},
    };
    for (const GoodCase& c : cases) {
        SCOPED_TRACE(c.args.empty() ? "(none)" : c.args[0]);
        Options options;
        std::vector<std::string> argv;
        ASSERT_TRUE(Read(c.args, &options, &argv)) << options.error;
        EXPECT_EQ(Sjis(c.logPath), options.logPath);
        EXPECT_EQ(c.port, options.port);
        EXPECT_EQ(c.maxLines, options.maxLines);
        EXPECT_EQ(c.charset, options.charset);
        EXPECT_EQ(c.help, options.help);
        EXPECT_EQ(c.keepDays, options.keepDays);
        EXPECT_EQ(c.filter ? Sjis(c.filter) : "(none)", options.filter ? options.filter : "(none)");
        EXPECT_EQ(0, options.badArgument);
        EXPECT_STREQ("", options.error);
    }
}

struct BadCase {
    std::vector<std::string> args;
    int badArgument;
    std::string error;  // before the line that points to --help
};

TEST(ReadOptions, BadCommandLinesNameTheArgumentAndWhy) {
    const std::string wide(120, 'x'), kana = [] {
        std::string s;
        for (int i = 0; i < 60; i++) s += "あ";
        return s;
    }();
    const std::string kana47 = kana.substr(0, 47 * 3);  // 94 bytes in Shift-JIS: the 48th would pass 96
    const BadCase cases[] = {
        {{"--bogus"}, 1, "不明なオプションです: --bogus"},
        {{"--LOG", "x"}, 1, "不明なオプションです: --LOG"},
        {{"--port=5140", "messages.txt"}, 2, "オプションではない引数です: messages.txt"},
        {{"--port"}, 1, "--port に値がありません。"},
        {{"--log", "--port", "5"}, 1, "--log に値がありません。"},
        {{"--log="}, 1, "--log の値が空です。"},
        {{"--max-lines", ""}, 2, "--max-lines の値が空です。"},
        {{"--help=yes"}, 1, "--help は値を取りません: --help=yes"},
        {{"--minimized=1"}, 1, "--minimized は値を取りません: --minimized=1"},
        {{"--alert="}, 1, "--alert の値が空です。"},
        {{"--alert", "host:"}, 2, "--alert の値「host:」は フィルターの誤りです: 「host:」の値が空です。"},
        {{"--port", "0"}, 2, "--port の値「0」は 1 から 65535 までの整数ではありません。"},
        {{"--port=65536"}, 1, "--port の値「65536」は 1 から 65535 までの整数ではありません。"},
        {{"--port", "+514"}, 2, "--port の値「+514」は 1 から 65535 までの整数ではありません。"},
        {{"--port", "514x"}, 2, "--port の値「514x」は 1 から 65535 までの整数ではありません。"},
        {{"--max-lines", "-1"}, 2, "--max-lines の値「-1」は 0 から 2147483647 までの整数ではありません。"},
        {{"--max-lines=2147483648"},
         1,
         "--max-lines の値「2147483648」は 0 から 2147483647 までの整数ではありません。"},
        {{"--max-lines", "99999999999999999999"},
         2,
         "--max-lines の値「99999999999999999999」は 0 から 2147483647 までの整数ではありません。"},
        {{"--charset", "latin1"},
         2,
         "--charset の値「latin1」は auto、sjis、utf8、eucjp のどれでもありません。"},
        // --log's fields are the date fields, and --keep-days needs them.
        {{"--log", "a%q.log"},
         2,
         "--log の値「a%q.log」は 使えない欄 %q を含みます (使えるのは %Y %m %d %H %%)。"},
        {{"--log=x%あい"},
         1,
         "--log の値「x%あい」は 使えない欄 %あ を含みます (使えるのは %Y %m %d %H %%)。"},
        {{"--log", "%Y%"}, 2, "--log の値「%Y%」は % で終わっています (% そのものは %% と書きます)。"},
        {{"--keep-days", "7"}, 1, "--keep-days には日付の欄 (%Y %m %d %H) のある --log が要ります。"},
        {{"--log", "%Y", "--keep-days=3", "--log", "100%%"},
         3,
         "--keep-days には日付の欄 (%Y %m %d %H) のある --log が要ります。"},
        {{"--keep-days", "-1"}, 2, "--keep-days の値「-1」は 0 から 2147483647 までの整数ではありません。"},
        // The first refusal counts, and it wins over --help.
        {{"--bogus", "--help", "--port", "0"}, 1, "不明なオプションです: --bogus"},
        {{"--help", "stray"}, 2, "オプションではない引数です: stray"},
        // A long argument is cut after 96 bytes, between two characters.
        {{"--" + wide}, 1, "不明なオプションです: --" + wide.substr(0, 94) + "..."},
        {{"a" + kana}, 1, "オプションではない引数です: a" + kana47 + "..."},
    };
    for (const BadCase& c : cases) {
        SCOPED_TRACE(c.args[0]);
        Options options;
        std::vector<std::string> argv;
        EXPECT_FALSE(Read(c.args, &options, &argv));
        EXPECT_EQ(c.badArgument, options.badArgument);
        EXPECT_EQ(Sjis(c.error + "\n--help でオプションの一覧を表示します。"), std::string(options.error));
    }
}

// What the remembered settings give way to: a charset given, an alert rule,
// and starting minimized.
TEST(ReadOptions, OptionsThatWinOverTheSettings) {
    const struct {
        std::vector<std::string> args;
        bool charsetGiven;
        const char* alert;  // null: none given
        bool minimized;
    } cases[] = {
        {{}, false, nullptr, false},
        {{"--charset=auto", "--minimized"}, true, nullptr, true},
        {{"--alert", "sev:err host:gw1", "--alert=-host:x"}, false, "-host:x", false},
        {{"--minimized", "--alert", "link down"}, false, "link down", true},
    };
    for (const auto& c : cases) {
        Options options;
        std::vector<std::string> argv;
        ASSERT_TRUE(Read(c.args, &options, &argv)) << options.error;
        EXPECT_EQ(c.charsetGiven, options.charsetGiven);
        EXPECT_EQ(c.alert ? std::string(c.alert) : "(none)", options.alert ? options.alert : "(none)");
        EXPECT_EQ(c.minimized, options.minimized);
    }
}

TEST(ReadOptions, HelpListsEveryOption) {
    const std::string help = OptionsHelpText();
    for (const char* option : {"--log PATH", "--keep-days N", "--port N", "--max-lines N",
                               "--charset auto|sjis|utf8|eucjp", "--filter EXPR", "--alert EXPR", "--minimized",
                               "--help"})
        EXPECT_NE(std::string::npos, help.find(option)) << option;
    EXPECT_EQ(0u, help.find(Sjis("使い方: ornivel.exe [オプション]\n")));
}

}  // namespace
