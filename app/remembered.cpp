// The remembered settings of this run (see remembered.h).
#include "app/remembered.h"

#include "app/find_box.h"
#include "app/settings_file.h"

namespace {

Settings g_settings;
SettingsNotes g_notes;
char g_path[MAX_PATH];
// A failed save has said so; the next ones stay quiet until one works.
bool g_failed;

}  // namespace

void LoadRemembered() {
    LocateSettingsFile(g_path, sizeof g_path);
    LoadSettingsFile(g_path, &g_settings, &g_notes);
}

Settings* RememberedSettings() {
    return &g_settings;
}

const SettingsNotes* RememberedNotes() {
    return &g_notes;
}

void ShowRememberedWindow(HWND window, int show, bool minimized) {
    const Settings* s = &g_settings;
    RECT rc = {s->left, s->top, s->right, s->bottom};
    if (minimized) show = SW_SHOWMINNOACTIVE;
    if (s->hasWindow && MonitorFromRect(&rc, MONITOR_DEFAULTTONULL)) {
        WINDOWPLACEMENT placement = {};
        placement.length = sizeof placement;
        placement.showCmd = SW_HIDE;  // the place only: shown below
        placement.rcNormalPosition = rc;
        if (s->maximized && minimized) {
            // Started minimized (at logon, say), it comes back maximized as
            // it was. The placement shows it: shown again, a window that
            // went to the tray would be back on the screen.
            placement.showCmd = SW_SHOWMINNOACTIVE;
            placement.flags = WPF_RESTORETOMAXIMIZED;
            SetWindowPlacement(window, &placement);
            return;
        }
        if (s->maximized) show = SW_SHOWMAXIMIZED;
        SetWindowPlacement(window, &placement);
    }
    ShowWindow(window, show);
}

bool SaveRemembered(HWND window, char* failure, size_t size) {
    WINDOWPLACEMENT placement = {};
    placement.length = sizeof placement;
    if (GetWindowPlacement(window, &placement)) {
        const RECT& rc = placement.rcNormalPosition;
        g_settings.hasWindow = rc.right > rc.left && rc.bottom > rc.top;
        g_settings.left = rc.left;
        g_settings.top = rc.top;
        g_settings.right = rc.right;
        g_settings.bottom = rc.bottom;
        g_settings.maximized = placement.showCmd == SW_SHOWMAXIMIZED ||
                               (placement.showCmd == SW_SHOWMINIMIZED && (placement.flags & WPF_RESTORETOMAXIMIZED));
    }
    GetFindSettings(g_settings.find, sizeof g_settings.find, &g_settings.findMatchCase);
    bool saved = SaveSettingsFile(g_path, &g_settings, failure, size);
    if (!saved && g_failed && size > 0) failure[0] = '\0';
    g_failed = !saved;
    return saved;
}
