// Resource and command ids shared by app.rc and the main window's code.
// Include guards rather than #pragma once: resource compilers read it too.
#ifndef ORNIVEL_APP_RESOURCE_H
#define ORNIVEL_APP_RESOURCE_H

#define IDS_APP_TITLE 103  // string: main window title
#define IDC_ORNIVEL 109    // string: main class name; also the menu and accelerators
#define IDD_ABOUTBOX 103
#define IDI_ORNIVEL 107  // class icon, also shown in the About box
#define IDI_SMALL 108    // small class icon

#define IDM_ABOUT 104
#define IDM_EXIT 105
#define IDM_MASK 32775

// 表示 ▸ 文字コード: the character set of message texts, one radio group
// in this order (the ids follow CharsetMode).
#define IDM_CHARSET_AUTO 32790
#define IDM_CHARSET_SJIS 32791
#define IDM_CHARSET_UTF8 32792
#define IDM_CHARSET_EUCJP 32793

// 表示 ▸ 最小化時にタスクトレイに格納, and ツール: the alert rule and
// starting with Windows.
#define IDM_TRAY_ON_MINIMIZE 32794
#define IDM_ALERT_RULE 32795
#define IDM_AUTOSTART 32796
// The tray icon's menu: 表示 (and 終了, IDM_EXIT).
#define IDR_TRAYMENU 111
#define IDM_TRAY_SHOW 32797
// No menu's: a part of the window tells it that a remembered setting changed.
#define IDM_REMEMBER 32798

#define IDR_VIEWMENU 110     // the view's context menu
#define IDM_COPY 32776       // copy the selection (as Ctrl+C)
#define IDM_SELECTALL 32777  // select all (as Ctrl+A)

// 編集: copy and select all as the view's keys do, and finding text.
#define IDM_FIND 32778      // open the find box (Ctrl+F)
#define IDM_FINDNEXT 32779  // the next match (F3)
#define IDM_FINDPREV 32780  // the previous match (Shift+F3)

// 表示 ▸ フィルター: the focus into the filter field (Ctrl+L); the view's
// context menu adds a term for the entry under the pointer to the field's
// filter and applies it, or takes the filter away.
#define IDM_FILTER 32781
#define IDM_FILTER_HOST 32782      // host:=HOST
#define IDM_FILTER_HIDEHOST 32783  // -host:=HOST
#define IDM_FILTER_FROM 32784      // from:=ADDR
#define IDM_FILTER_SEVERITY 32785  // sev:NAME
#define IDM_FILTER_CLEAR 32786     // no filter

// The find box and its notes.
#define IDD_FIND 120
#define IDC_FIND_TEXT 1001
#define IDC_FIND_MATCHCASE 1002
#define IDC_FIND_NEXT 1003
#define IDC_FIND_PREV 1004
#define IDC_FIND_NOTE 1005
#define IDS_FIND_NOTFOUND 130
#define IDS_FIND_WRAPPEDSTART 131  // forward, went on from the start
#define IDS_FIND_WRAPPEDEND 132    // backward, went on from the end

// The alert rule's dialog.
#define IDD_ALERT 121
#define IDC_ALERT_EXPRESSION 1011
#define IDC_ALERT_BALLOON 1012
#define IDC_ALERT_SOUND 1013
#define IDC_ALERT_FLASH 1014
#define IDC_ALERT_ERROR 1015

#define IDC_VIEW 2        // the view child of the main window
#define IDC_STATUSBAR 3   // the status bar under it
#define IDC_FILTER 4      // the filter field above it
#define IDC_OTHERVIEW 5   // the view hidden behind it (every entry's and the filter's swap ids)
#define IDC_ABOUT_ICON 2  // the icon of the About box

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

#endif  // ORNIVEL_APP_RESOURCE_H
