// The program's icon in the notification area while it runs: its tooltip
// "ornivel: 受信 N 件", its menu (表示, 終了), a double click that brings the
// window back to the front, the balloons of alerts, and the window hidden
// there while minimized when 最小化時にタスクトレイに格納 is checked. Explorer
// forgets every icon when it restarts and then broadcasts TaskbarCreated:
// the icon is added again.
#pragma once

#include <windows.h>

#include <cstdint>

// The icon's notifications to its owner (lParam: the mouse message).
#define WM_TRAYICON (WM_APP + 4)

// Adds the icon for `owner` (again after TaskbarCreated); false when the
// shell refused it.
bool AddTrayIcon(HWND owner, HINSTANCE instance);
void RemoveTrayIcon(HWND owner);
// True for the message Explorer broadcasts once its taskbar is back.
bool IsTaskbarCreated(UINT msg);
// The tooltip with the entries received; the shell is told only of a change.
void UpdateTrayTip(HWND owner, uint64_t received);
// A double click restores the window; the right button opens the menu,
// whose choice is sent to `owner` as a WM_COMMAND.
void OnTrayIcon(HWND owner, HINSTANCE instance, LPARAM event);
// A balloon on the icon, the system's warning icon beside it, silent (the
// alert's sound is its own choice); texts in Shift-JIS, cut to the room
// the shell gives them. False when the shell refused it.
bool ShowTrayBalloon(HWND owner, const char* title, const char* text);

// 最小化時にタスクトレイに格納: on, a minimized window leaves the taskbar.
void SetMinimizeToTray(bool on);
bool MinimizesToTray();
// The window was minimized: it is hidden when minimizing goes to the tray.
void OnMinimized(HWND owner);
// Brings the window back from the tray or the taskbar and to the front.
void ShowFromTray(HWND owner);

// For the tests, which have no notification area to look at: whether the
// icon is in, how many balloons the shell took, and the tooltip's text.
bool TrayIconShown();
uint64_t TrayBalloonsShown();
const char* TrayTip();
