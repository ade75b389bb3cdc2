// The program's own texts as Shift-JIS (code page 932) bytes, exactly as they
// reach the view, the log file and the message boxes.
#pragma once

// 受信に失敗しました。 (Receiving failed.)
#define kTextReceiveFailed                                                   \
    "\x8e\xf3\x90M\x82\xc9\x8e\xb8\x94s\x82\xb5\x82\xdc\x82\xb5\x82\xbd\x81" \
    "B"
// しすろぐすたーと (syslog start, in hiragana)
#define kTextSyslogStart "\x82\xb5\x82\xb7\x82\xeb\x82\xae\x82\xb7\x82\xbd\x81[\x82\xc6"
// WinSockの初期化に失敗しました。 (Initialising WinSock failed.)
#define kTextWinSockFailed                                                                             \
    "WinSock\x82\xcc\x8f\x89\x8a\xfa\x89\xbb\x82\xc9\x8e\xb8\x94s\x82\xb5\x82\xdc\x82\xb5\x82\xbd\x81" \
    "B"
// Socketの作成に失敗しました。 (Creating the socket failed.)
#define kTextSocketFailed                                                                     \
    "Socket\x82\xcc\x8d\xec\x90\xac\x82\xc9\x8e\xb8\x94s\x82\xb5\x82\xdc\x82\xb5\x82\xbd\x81" \
    "B"
// Socketイベントを通知させる設定に失敗しました。 (Setting up socket event notification failed.)
#define kTextSelectFailed                                                                                   \
    "Socket\x83"                                                                                            \
    "C\x83x\x83\x93\x83g\x82\xf0\x92\xca\x92m\x82\xb3\x82\xb9\x82\xe9\x90\xdd\x92\xe8\x82\xc9\x8e\xb8\x94s" \
    "\x82\xb5\x82\xdc\x82\xb5\x82\xbd\x81"                                                                  \
    "B"
// Socketイベントの通知でエラーが発生しました。 (An error occurred in a socket event notification.)
#define kTextNotifyFailed                                                \
    "Socket\x83"                                                         \
    "C\x83x\x83\x93\x83g\x82\xcc\x92\xca\x92m\x82\xc5\x83G\x83\x89\x81[" \
    "\x82\xaa\x94\xad\x90\xb6\x82\xb5\x82\xdc\x82\xb5\x82\xbd\x81"       \
    "B"

#define kTextErrorCaption "Error"

// ポート%u (%s) をバインドできませんでした。 (Port %u (%s) could not be bound.)
// The port, then the protocol and address family ("UDP/IPv4").
#define kTextBindFailedFormat                                                            \
    "\x83|\x81[\x83g%u (%s) \x82\xf0\x83o\x83"                                           \
    "C\x83\x93\x83h\x82\xc5\x82\xab\x82\xdc\x82\xb9\x82\xf1\x82\xc5\x82\xb5\x82\xbd\x81" \
    "B"
// IPv6 が使えないため、IPv6 では受信しません。 (IPv6 is not available; nothing is received over it.)
#define kTextNoIPv6                                                           \
    "IPv6 \x82\xaa\x8eg\x82\xa6\x82\xc8\x82\xa2\x82\xbd\x82\xdf\x81"          \
    "AIPv6 \x82\xc5\x82\xcd\x8e\xf3\x90M\x82\xb5\x82\xdc\x82\xb9\x82\xf1\x81" \
    "B"
// ビューに表示できなかった %llu 件はログファイルにあります。
// (The %llu entries the view could not show are in the log file.)
#define kTextViewMissedFormat                                                                                \
    "\x83r\x83\x85\x81[\x82\xc9\x95\\\x8e\xa6\x82\xc5\x82\xab\x82\xc8\x82\xa9\x82\xc1\x82\xbd %llu \x8c\x8f" \
    "\x82\xcd\x83\x8d\x83O\x83t\x83@\x83"                                                                    \
    "C\x83\x8b\x82\xc9\x82\xa0\x82\xe8\x82\xdc\x82\xb7\x81"                                                  \
    "B"
// フレームが長すぎるため、%llu バイトを切り捨てました (上限 %u バイト)。
// (The frame was too long: %llu bytes were cut (the limit is %u bytes).)
#define kTextFrameCutFormat                                                                        \
    "\x83t\x83\x8c\x81[\x83\x80\x82\xaa\x92\xb7\x82\xb7\x82\xac\x82\xe9\x82\xbd\x82\xdf\x81"       \
    "A%llu \x83o\x83"                                                                              \
    "C\x83g\x82\xf0\x90\xd8\x82\xe8\x8e\xcc\x82\xc4\x82\xdc\x82\xb5\x82\xbd (\x8f\xe3\x8c\xc0 %u " \
    "\x83o\x83"                                                                                    \
    "C\x83g)\x81"                                                                                  \
    "B"
// 同時接続の上限 %u を超えた TCP 接続 %llu 件を閉じました。
// (%llu TCP connections beyond the limit of %u open at once were closed.)
#define kTextConnectionsRefusedFormat                                                                   \
    "\x93\xaf\x8e\x9e\x90\xda\x91\xb1\x82\xcc\x8f\xe3\x8c\xc0 %u \x82\xf0\x92\xb4\x82\xa6\x82\xbd TCP " \
    "\x90\xda\x91\xb1 %llu \x8c\x8f\x82\xf0\x95\xc2\x82\xb6\x82\xdc\x82\xb5\x82\xbd\x81"                \
    "B"
// 終了時に TCP 接続 %u 件を、読み切れなかった %llu バイトを残して閉じました。
// (At exit, %u TCP connections were closed with %llu bytes left unread.)
#define kTextTcpUnreadFormat                                                                  \
    "\x8fI\x97\xb9\x8e\x9e\x82\xc9 TCP \x90\xda\x91\xb1 %u \x8c\x8f\x82\xf0\x81"              \
    "A\x93\xc7\x82\xdd\x90\xd8\x82\xea\x82\xc8\x82\xa9\x82\xc1\x82\xbd %llu \x83o\x83"        \
    "C\x83g\x82\xf0\x8e"                                                                      \
    "c\x82\xb5\x82\xc4\x95\xc2\x82\xb6\x82\xdc\x82\xb5\x82\xbd\x81"                           \
    "B"
