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

// What the filter items need of the entry under the pointer: the values
// their terms name ("" where there is none to name).
enum { kHostValue, kFromValue, kSeverityValue, kMenuValues };
struct MenuEntry {
    // The host as shown is the longest: each control byte takes its escape.
    char values[kMenuValues][kShownHostSize];
};

// The items that add a term, with its key and the value it names.
const struct {
    UINT item;
    const char* key;
    bool exact, negated;
    int value;
} kTermItems[] = {
    {IDM_FILTER_HOST, "host", true, false, kHostValue},
    {IDM_FILTER_HIDEHOST, "host", true, true, kHostValue},
    {IDM_FILTER_FROM, "from", true, false, kFromValue},
    {IDM_FILTER_SEVERITY, "sev", false, false, kSeverityValue},
};

// A status line or no line under the pointer names nothing, an entry
// without PRI no severity; an empty host no term can name.
void ReadMenuEntry(ViewFeed* feed, int offset, MenuEntry* entry) {
    memset(entry, 0, sizeof *entry);
    EntryFields fields;
    if (!FieldsAtOffset(feed, offset, &fields) || fields.status) return;
    strcpy(entry->values[kHostValue], fields.host);
    FormatSender(&fields.sender, entry->values[kFromValue], sizeof entry->values[kFromValue]);
    if (fields.hasPri) strcpy(entry->values[kSeverityValue], kSeverityNames[fields.severity & 7]);
}

// An item that has nothing to name is grey.
void EnableFilterItems(HMENU popup, const MenuEntry* entry, bool filtering) {
    for (const auto& t : kTermItems)
        EnableMenuItem(popup, t.item, MF_BYCOMMAND | (entry->values[t.value][0] ? MF_ENABLED : MF_GRAYED));
    EnableMenuItem(popup, IDM_FILTER_CLEAR, MF_BYCOMMAND | (filtering ? MF_ENABLED : MF_GRAYED));
}

// True when `chosen` was a filter item, which is then carried out.
bool RunFilterItem(HWND filterBar, UINT chosen, const MenuEntry* entry) {
    if (chosen == IDM_FILTER_CLEAR) {
        ApplyFilterText(filterBar, "");
        return true;
    }
    for (const auto& t : kTermItems) {
        if (t.item != chosen) continue;
        AddFilterTerm(filterBar, t.key, t.exact, t.negated, entry->values[t.value]);
        return true;
    }
    return false;
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
    // From the keyboard both coordinates are -1; the whole lParam is -1 only
    // where the system sign-extends it.
    if (at.x == -1 && at.y == -1) {
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
