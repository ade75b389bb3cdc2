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
// ポート514をバインドできませんでした。 (Port 514 could not be bound.)
#define kTextBindFailed                                                                  \
    "\x83|\x81[\x83g514\x82\xf0\x83o\x83"                                                \
    "C\x83\x93\x83h\x82\xc5\x82\xab\x82\xdc\x82\xb9\x82\xf1\x82\xc5\x82\xb5\x82\xbd\x81" \
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
