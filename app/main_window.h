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
// Sent by the tests, which have no notification area to look at and cannot
// hear: wParam names one of the calls below, the result says how it went.
// Any process may send it, so lParam is never taken for memory: for
// kCallTrayTip it is the index of the tooltip's byte asked for.
#define WM_CALLQUERY (WM_APP + 5)
enum CallQuery {
    kCallTrayIcon,  // 1 while the shell holds the icon
    kCallBalloons,  // balloons the shell took
    kCallSounds,    // warning sounds played
    kCallFlashes,   // flashes of the taskbar button started
    kCallTrayTip,   // the tooltip's byte at lParam: 0 at its end, -1 past it
};

void RegisterMainClass(HINSTANCE hInstance);
// Reads the remembered settings, then creates, shows (where it was, or
// minimized for --minimized) and updates the main window, which keeps a
// copy of the command line's `options`; false when it cannot be created.
bool CreateMainWindow(HINSTANCE hInstance, int nCmdShow, const Options* options);
// The main window made by CreateMainWindow; the message loop translates its
// accelerators.
HWND MainWindow();

LRESULT CALLBACK MainWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK AboutDlgProc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam);
