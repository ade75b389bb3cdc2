// UDP listener: one datagram socket on 0.0.0.0:514 in WinSock's window-message
// mode. WinSock posts WM_SOCKET_NOTIFY to the main window for every readable
// datagram; each notification leads to exactly one receive, handed on to the
// entry formatter. GUI thread only.
#pragma once

#include <winsock2.h>
#include <windows.h>

// Posted by WinSock to the main window: wParam the socket, lParam the event
// (WSAGETSELECTEVENT) and the error code (WSAGETSELECTERROR).
#define WM_SOCKET_NOTIFY (WM_USER + 2)

extern SOCKET g_socket;  // INVALID_SOCKET once closed or never made

// Starts WinSock 1.1 and registers WSACleanup for the run-time's exit
// processing; shows the failure and returns false when either fails.
bool StartWinSock();
// Creates, binds and arms the socket, notifying hwnd; entries and status
// lines go to `view` from then on. Every failure is shown and closes it.
void OpenListener(HWND hwnd, HWND view);
// Cancels notifications and closes the socket; results are not examined.
void CloseListener(HWND hwnd);
// Closes the listener, then shows the text in an "Error" box owned by hwnd.
void ReportSocketError(HWND hwnd, const char* text);
// Handles WM_SOCKET_NOTIFY; the window procedure returns 0 after it.
void OnSocketNotify(HWND hwnd, WPARAM wParam, LPARAM lParam);
// Receives one datagram and writes its entry, or a status line on failure.
void ReceiveDatagram();
