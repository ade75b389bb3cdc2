// The main window: owner of the view child and of reception (its thread,
// sockets and log file), feeder of the view from reception's queue, and home
// of the menu commands.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include "app/options.h"
#include "syslog/charset.h"

extern char g_title[100];      // string 103
extern char g_className[100];  // string 109
extern HINSTANCE g_hInstance;  // loads the About box
// Sent to the main window (also from other processes): the bytes of entries
// that wait in the queue for the view; 0 once the view has caught up.
#define WM_QUEUEDBYTES (WM_APP + 3)

void RegisterMainClass(HINSTANCE hInstance);
// Creates, shows and updates the main window, which keeps a copy of the
// command line's `options` (log file, port, view line limit, charset);
// false when it cannot be created.
bool CreateMainWindow(HINSTANCE hInstance, int nCmdShow, const Options* options);
// The main window made by CreateMainWindow; the message loop translates its
// accelerators.
HWND MainWindow();

LRESULT CALLBACK MainWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK AboutDlgProc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam);
