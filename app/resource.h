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

#define IDR_VIEWMENU 110     // the view's context menu
#define IDM_COPY 32776       // copy the selection (as Ctrl+C)
#define IDM_SELECTALL 32777  // select all (as Ctrl+A)

#define IDC_VIEW 2        // the view child of the main window
#define IDC_ABOUT_ICON 2  // the icon of the About box

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

#endif  // ORNIVEL_APP_RESOURCE_H
