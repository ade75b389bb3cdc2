// The view's context menu. The entry under the pointer is read when the
// menu opens and its host, sender and severity copied out, since entries go
// on arriving (and may leave the store) while the menu is open.
#include "app/view_menu.h"

#include <cstring>

#include "app/filter_bar.h"
#include "app/resource.h"
#include "colorview/colorview.h"

namespace {

// The severities by the names the filter language reads (the parser's
// table has several names for some).
const char* const kSeverityNames[8] = {"emerg", "alert", "crit", "err", "warning", "notice", "info", "debug"};

// What the filter items need of the entry under the pointer.
struct MenuEntry {
    bool found;  // an entry (not a status line) is there
    bool hasPri;
    char host[kHostSize];
    char from[kSenderTextSize];
    char severity[kMaxNameLength + 1];
};

void ReadMenuEntry(ViewFeed* feed, int offset, MenuEntry* entry) {
    EntryFields fields;
    entry->found = FieldsAtOffset(feed, offset, &fields) && !fields.status;
    if (!entry->found) return;
    entry->hasPri = fields.hasPri;
    strcpy(entry->host, fields.host);
    FormatSender(&fields.sender, entry->from, sizeof entry->from);
    strcpy(entry->severity, kSeverityNames[fields.severity & 7]);
}

void Enable(HMENU popup, UINT item, bool enabled) {
    EnableMenuItem(popup, item, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

// An item that has nothing to name is grey: a status line or no line under
// the pointer, an empty host (no term can name it), no PRI (no severity).
void EnableFilterItems(HMENU popup, const MenuEntry* entry, bool filtering) {
    bool host = entry->found && entry->host[0] != '\0';
    Enable(popup, IDM_FILTER_HOST, host);
    Enable(popup, IDM_FILTER_HIDEHOST, host);
    Enable(popup, IDM_FILTER_FROM, entry->found);
    Enable(popup, IDM_FILTER_SEVERITY, entry->found && entry->hasPri);
    Enable(popup, IDM_FILTER_CLEAR, filtering);
}

// True when `chosen` was a filter item, which is then carried out.
bool RunFilterItem(HWND filterBar, UINT chosen, const MenuEntry* entry) {
    switch (chosen) {
        case IDM_FILTER_HOST:
            AddFilterTerm(filterBar, "host", true, false, entry->host);
            return true;
        case IDM_FILTER_HIDEHOST:
            AddFilterTerm(filterBar, "host", true, true, entry->host);
            return true;
        case IDM_FILTER_FROM:
            AddFilterTerm(filterBar, "from", true, false, entry->from);
            return true;
        case IDM_FILTER_SEVERITY:
            AddFilterTerm(filterBar, "sev", false, false, entry->severity);
            return true;
        case IDM_FILTER_CLEAR:
            ApplyFilterText(filterBar, "");
            return true;
        default:
            return false;
    }
}

}  // namespace

void EnableCopy(HMENU popup, HWND view) {
    DWORD start = 0, end = 0;
    SendMessageA(view, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EnableMenuItem(popup, IDM_COPY, MF_BYCOMMAND | (start == end ? MF_GRAYED : MF_ENABLED));
}

void ShowViewMenu(HWND owner, HWND view, HWND filterBar, ViewFeed* feed, LPARAM point, HINSTANCE instance) {
    HMENU menu = LoadMenuA(instance, MAKEINTRESOURCEA(IDR_VIEWMENU));
    if (!menu) return;
    HMENU popup = GetSubMenu(menu, 0);
    EnableCopy(popup, view);
    POINT at = {static_cast<short>(LOWORD(point)), static_cast<short>(HIWORD(point))};
    int offset = 0;
    if (point == -1) {
        DWORD start = 0, end = 0;
        SendMessageA(view, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
        offset = static_cast<int>(end);
        at.x = at.y = 0;
        ClientToScreen(view, &at);
    } else {
        POINT client = at;
        ScreenToClient(view, &client);
        offset = static_cast<int>(SendMessageA(view, CVM_POSFROMPOINT, 0, reinterpret_cast<LPARAM>(&client)));
    }
    MenuEntry entry;
    ReadMenuEntry(feed, offset, &entry);
    EnableFilterItems(popup, &entry, feed->filtering);
    UINT chosen =
        TrackPopupMenu(popup, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, at.x, at.y, 0, owner, nullptr);
    DestroyMenu(menu);
    // Copy and Select all are the 編集 menu's commands.
    if (chosen != 0 && !RunFilterItem(filterBar, chosen, &entry)) SendMessageA(owner, WM_COMMAND, chosen, 0);
}
