// The main window: owner of the view child and of reception (its thread,
// sockets and log file), feeder of the view from reception's queue, and home
// of the menu commands.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include "syslog/charset.h"

extern char g_title[100];      // string 103
extern char g_className[100];  // string 109
extern HINSTANCE g_hInstance;  // loads the About box
// The most logical lines the view keeps (0: no limit); the log file keeps
// everything. Set from the command line before the window is made.
extern int g_viewLineLimit;
enum { kDefaultViewLineLimit = 1000000 };

// The character set message texts are shown in from the start (the View
// menu changes it later); call before CreateMainWindow. Automatic unless set.
void SetStartCharset(CharsetMode charset);

// Reads "--max-lines N" (or "--max-lines=N") from the command line into
// g_viewLineLimit; anything else on it is ignored.
void ReadCommandLine(const char* commandLine);

// Sent to the main window (also from other processes): the bytes of entries
// that wait in the queue for the view; 0 once the view has caught up.
#define WM_QUEUEDBYTES (WM_APP + 3)

void RegisterMainClass(HINSTANCE hInstance);
// Creates, shows and updates the main window; false when it cannot be created.
bool CreateMainWindow(HINSTANCE hInstance, int nCmdShow);
// The main window made by CreateMainWindow; the message loop translates its
// accelerators.
HWND MainWindow();

LRESULT CALLBACK MainWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK AboutDlgProc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam);
