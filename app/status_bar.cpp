// The status bar's window side: the control, its fields' widths, and the
// tick that writes the texts status_counts makes.
#include "app/status_bar.h"

#include <commctrl.h>

#include <cstring>
#include <new>

#include "app/status_counts.h"
#include "colorview/colorview.h"

namespace {

enum { kFieldTextSize = 600 };  // the longest field: the log's state with the system's reason

// The bar's record, in its user-data slot from CreateStatusBar to DestroyStatusBar.
struct StatusBar {
    StatusCounts counts;
    int widths[kStatusFields];                  // pixels each fixed field needs; the log's takes the rest
    char shown[kStatusFields][kFieldTextSize];  // the text each field holds
    int clientWidth;                            // of the parent, at the last placing
    int alertsWidth;                            // the alerts' field, while there is a rule
};

// Pixels that a field of `text` needs in the bar's font, with room for its
// borders and a little air on both sides.
int FieldWidth(HWND bar, const char* text) {
    HDC dc = GetDC(bar);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(bar, WM_GETFONT, 0, 0)));
    SIZE size = {};
    GetTextExtentPoint32A(dc, text, static_cast<int>(strlen(text)), &size);
    SelectObject(dc, old);
    ReleaseDC(bar, dc);
    return size.cx + 4 * GetSystemMetrics(SM_CXEDGE) + 8;
}

StatusBar* RecordOf(HWND bar) {
    return reinterpret_cast<StatusBar*>(GetWindowLongPtrA(bar, GWLP_USERDATA));
}

// Each fixed field is as wide as its text with large figures in the bar's
// font, so that it does not change width as the figures grow. The filter's
// field is as wide as the text it holds, and there only while it holds one;
// the alerts' is there only while there is a rule.
void MeasureFields(HWND bar, StatusBar* record) {
    const StatusFigures widest = {999999999, 99999, 9999999, false, "", false, 9999999, false, 0, 0, nullptr,
                                  true, 9999999};
    for (int field = 0; field < kStatusFields; field++) {
        char text[kFieldTextSize];
        FormatStatusField(&widest, field, text, sizeof text);
        record->widths[field] = field == kFieldFilter || field == kFieldAlerts ? 0 : FieldWidth(bar, text);
        if (field == kFieldAlerts) record->alertsWidth = FieldWidth(bar, text);
    }
}

}  // namespace

HWND CreateStatusBar(HWND parent, int id, HINSTANCE instance) {
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_BAR_CLASSES};
    InitCommonControlsEx(&icc);
    StatusBar* record = new (std::nothrow) StatusBar();
    if (!record) return nullptr;
    HWND bar = CreateWindowExA(0, STATUSCLASSNAMEA, "", WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0, 0, 0, 0,
                               parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
    if (!bar) {
        delete record;
        return nullptr;
    }
    ResetStatusCounts(&record->counts);
    MeasureFields(bar, record);
    SetWindowLongPtrA(bar, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(record));
    return bar;
}

void DestroyStatusBar(HWND bar) {
    StatusBar* record = RecordOf(bar);
    SetWindowLongPtrA(bar, GWLP_USERDATA, 0);
    delete record;
}

int PlaceStatusBar(HWND bar, int clientWidth) {
    StatusBar* record = RecordOf(bar);
    if (!record) return 0;
    record->clientWidth = clientWidth;
    SendMessageA(bar, WM_SIZE, 0, 0);  // the bar puts itself along the parent's bottom
    // Right edges: the counts from the left; at the right end the follow
    // field, then the filter's and the alerts' while they have something to
    // say; the log's state between them with whatever is left.
    int filterWidth = record->widths[kFieldFilter];
    if (filterWidth > clientWidth / 2) filterWidth = clientWidth / 2;  // a long error is cut, not the rest
    int alertsWidth = record->widths[kFieldAlerts];
    int fields = alertsWidth > 0 ? kStatusFields : filterWidth > 0 ? kFieldAlerts : kFieldFilter;
    int edges[kStatusFields];
    int x = 0;
    for (int field = kFieldReceived; field < kFieldLog; field++) edges[field] = x += record->widths[field];
    int followEnd = clientWidth - filterWidth - alertsWidth;
    int logEnd = followEnd - record->widths[kFieldFollow];
    edges[kFieldLog] = logEnd > x ? logEnd : x;
    edges[kFieldFollow] = followEnd > edges[kFieldLog] ? followEnd : edges[kFieldLog];
    edges[kFieldFilter] = edges[kFieldFollow] + filterWidth;
    edges[fields - 1] = -1;
    SendMessageA(bar, SB_SETPARTS, fields, reinterpret_cast<LPARAM>(edges));
    RECT rc;
    GetWindowRect(bar, &rc);
    return rc.bottom - rc.top;
}

bool ViewFollows(HWND view) {
    return SendMessageA(view, CVM_ISFOLLOWING, 0, 0) != 0;
}

void NoteEntriesShown(HWND bar, uint64_t count, bool following) {
    StatusBar* record = RecordOf(bar);
    if (record) NoteEntriesAppended(&record->counts, count, following);
}

void UpdateStatusBar(HWND bar, HWND view, uint64_t received, bool logStopped, const char* reason,
                     const FilterCounts* filter, int64_t alerts) {
    StatusBar* record = RecordOf(bar);
    if (!record) return;
    bool following = ViewFollows(view);
    NoteStatusSample(&record->counts, GetTickCount(), received, following);
    StatusFigures figures = {received,
                             EntriesPerSecond(&record->counts),
                             static_cast<uint64_t>(SendMessageA(view, CVM_GETTEXTLINES, 0, 0)),
                             logStopped,
                             reason,
                             following,
                             EntriesSinceAway(&record->counts),
                             filter->filtering,
                             filter->shown,
                             filter->kept,
                             filter->error,
                             alerts >= 0,
                             alerts >= 0 ? static_cast<uint64_t>(alerts) : 0};
    for (int field = 0; field < kStatusFields; field++) {
        char text[kFieldTextSize];
        FormatStatusField(&figures, field, text, sizeof text);
        if (strcmp(text, record->shown[field]) == 0) continue;  // each write repaints the bar
        strcpy(record->shown[field], text);
        if (field == kFieldFilter) {
            // The field comes, goes and changes width with its text.
            record->widths[kFieldFilter] = text[0] != '\0' ? FieldWidth(bar, text) : 0;
            PlaceStatusBar(bar, record->clientWidth);
        }
        if (field == kFieldAlerts && (text[0] != '\0') != (record->widths[kFieldAlerts] > 0)) {
            record->widths[kFieldAlerts] = text[0] != '\0' ? record->alertsWidth : 0;
            PlaceStatusBar(bar, record->clientWidth);
        }
        SendMessageA(bar, SB_SETTEXTA, field, reinterpret_cast<LPARAM>(text));
    }
}

bool IsFollowFieldDoubleClick(HWND bar, const NMHDR* notify) {
    return notify->hwndFrom == bar && notify->code == NM_DBLCLK &&
           reinterpret_cast<const NMMOUSE*>(notify)->dwItemSpec == kFieldFollow;
}
