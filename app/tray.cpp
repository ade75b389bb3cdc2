// The notification-area icon (see tray.h): one icon of the main window,
// with the calls to the shell and what it answered kept for the tests.
#include "app/tray.h"

#include <shellapi.h>

#include <cstring>

#include "app/resource.h"
#include "app/status_counts.h"
#include "syslog/charset.h"

namespace {

const UINT kIconId = 1;

struct Tray {
    bool shown;         // the shell took the icon
    bool toTray;        // 最小化時にタスクトレイに格納
    uint64_t balloons;  // balloons the shell took
    char tip[128];      // the tooltip as last given to the shell
};

Tray g_tray;
UINT g_taskbarCreated;

NOTIFYICONDATAA IconData(HWND owner, UINT flags) {
    NOTIFYICONDATAA data = {};
    data.cbSize = sizeof data;
    data.hWnd = owner;
    data.uID = kIconId;
    data.uFlags = flags;
    return data;
}

}  // namespace

bool AddTrayIcon(HWND owner, HINSTANCE instance) {
    if (g_taskbarCreated == 0) g_taskbarCreated = RegisterWindowMessageA("TaskbarCreated");
    NOTIFYICONDATAA data = IconData(owner, NIF_MESSAGE | NIF_ICON | NIF_TIP);
    data.uCallbackMessage = WM_TRAYICON;
    // Shared: the system frees it with the module.
    data.hIcon = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(IDI_SMALL), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON),
                                               LR_SHARED));
    if (g_tray.tip[0] == '\0') UpdateTrayTip(nullptr, 0);
    strcpy(data.szTip, g_tray.tip);
    // After a restart of Explorer the old icon is gone, but a second add of
    // one still there would fail: it is taken away first.
    if (g_tray.shown) RemoveTrayIcon(owner);
    g_tray.shown = Shell_NotifyIconA(NIM_ADD, &data) != FALSE;
    return g_tray.shown;
}

void RemoveTrayIcon(HWND owner) {
    NOTIFYICONDATAA data = IconData(owner, 0);
    Shell_NotifyIconA(NIM_DELETE, &data);
    g_tray.shown = false;
}

bool IsTaskbarCreated(UINT msg) {
    return g_taskbarCreated != 0 && msg == g_taskbarCreated;
}

void UpdateTrayTip(HWND owner, uint64_t received) {
    StatusFigures figures = {};
    figures.received = received;
    char field[64];
    FormatStatusField(&figures, kFieldReceived, field, sizeof field);
    char tip[sizeof g_tray.tip];
    strcpy(tip, "ornivel: ");
    CopyWholeCharacters(tip + strlen(tip), sizeof tip - strlen(tip), field);
    if (strcmp(tip, g_tray.tip) == 0) return;
    strcpy(g_tray.tip, tip);
    if (!owner || !g_tray.shown) return;
    NOTIFYICONDATAA data = IconData(owner, NIF_TIP);
    strcpy(data.szTip, tip);
    Shell_NotifyIconA(NIM_MODIFY, &data);
}

void OnTrayIcon(HWND owner, HINSTANCE instance, LPARAM event) {
    if (event == WM_LBUTTONDBLCLK) {
        ShowFromTray(owner);
        return;
    }
    if (event != WM_RBUTTONUP && event != WM_CONTEXTMENU) return;
    HMENU menu = LoadMenuA(instance, MAKEINTRESOURCEA(IDR_TRAYMENU));
    if (!menu) return;
    POINT at;
    GetCursorPos(&at);
    // Without the owner in front the menu would not close when the user
    // clicks elsewhere; the WM_NULL lets it close at once after a choice.
    SetForegroundWindow(owner);
    UINT chosen = TrackPopupMenu(GetSubMenu(menu, 0), TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, at.x, at.y,
                                 0, owner, nullptr);
    PostMessageA(owner, WM_NULL, 0, 0);
    DestroyMenu(menu);
    if (chosen != 0) SendMessageA(owner, WM_COMMAND, chosen, 0);
}

bool ShowTrayBalloon(HWND owner, const char* title, const char* text) {
    if (!g_tray.shown) return false;
    NOTIFYICONDATAA data = IconData(owner, NIF_INFO);
    CopyWholeCharacters(data.szInfoTitle, sizeof data.szInfoTitle, title);
    CopyWholeCharacters(data.szInfo, sizeof data.szInfo, text);
    data.dwInfoFlags = NIIF_WARNING | NIIF_NOSOUND;
    if (!Shell_NotifyIconA(NIM_MODIFY, &data)) return false;
    g_tray.balloons++;
    return true;
}

void SetMinimizeToTray(bool on) {
    g_tray.toTray = on;
}

bool MinimizesToTray() {
    return g_tray.toTray;
}

void OnMinimized(HWND owner) {
    // Without an icon to come back by, the window stays on the taskbar.
    if (g_tray.toTray && g_tray.shown) ShowWindow(owner, SW_HIDE);
}

void ShowFromTray(HWND owner) {
    ShowWindow(owner, IsIconic(owner) ? SW_RESTORE : SW_SHOW);
    SetForegroundWindow(owner);
}

bool TrayIconShown() {
    return g_tray.shown;
}

uint64_t TrayBalloonsShown() {
    return g_tray.balloons;
}

const char* TrayTip() {
    return g_tray.tip;
}
