// Tests of the log file's status texts under code page 932: the system's
// reason without its line break, the number when the system has none, and
// texts cut only between whole characters, with nothing after a cut; the
// retention's lines.
#include "logfile/log_status.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

std::string Sjis(const wchar_t* wide) {
    char out[1024];
    return std::string(out, WideCharToMultiByte(932, 0, wide, -1, out, sizeof out, nullptr, nullptr) - 1);
}

TEST(LogStatus, TextsAndTheirCuts) {
    char text[4096], reason[256];
    for (DWORD code :
         {ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION, ERROR_DISK_FULL}) {  // the last is used below
        DescribeSystemError(code, reason, sizeof reason);
        EXPECT_TRUE(reason[0] != '\0' && !strpbrk(reason, "\r\n") && reason[strlen(reason) - 1] != ' ')
            << code;
        EXPECT_EQ(std::string::npos, std::string(reason).find(Sjis(L"エラー ")))
            << "the system has a text for " << code;
    }
    DescribeSystemError(0x2FFFFFFF, text, sizeof text);
    EXPECT_EQ(Sjis(L"エラー 805306367"), text);
    FormatLogResumed(12, 3000000000ULL, text, sizeof text);
    EXPECT_EQ(Sjis(L"ログファイルへの書き込みを再開しました (遅れた行 12、失われた行 3000000000)"), text);

    const std::string path = Sjis(L"Z:\\ログ\\messages");
    FormatLogFailure(path.c_str(), reason, text, sizeof text);
    EXPECT_EQ(Sjis(L"ログファイル ") + path + Sjis(L" に書き込めません: ") + reason, text);
    FormatLogDeleted(path.c_str(), text, sizeof text);
    EXPECT_EQ(Sjis(L"古いログファイル ") + path + Sjis(L" を削除しました"), text);
    FormatLogDeleteFailed(path.c_str(), reason, text, sizeof text);
    EXPECT_EQ(Sjis(L"古いログファイル ") + path + Sjis(L" を削除できません: ") + reason, text);
    // "Z:\ログ" is bytes 13 to 20 of the text; {buffer size, bytes kept}.
    const std::string head = Sjis(L"ログファイル Z:\\ログ");
    const size_t cuts[][2] = {{19, 18}, {18, 16}, {17, 16}, {16, 15}};
    for (const auto& cut : cuts) {
        FormatLogFailure(path.c_str(), reason, text, cut[0]);
        EXPECT_EQ(head.substr(0, cut[1]), text) << "size " << cut[0];
    }
}

}  // namespace
