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
    bool alerting;                              // the alerts' field has room: a rule is set
};

StatusBar* RecordOf(HWND bar) {
    return reinterpret_cast<StatusBar*>(GetWindowLongPtrA(bar, GWLP_USERDATA));
}

// Each fixed field is as wide as its text with large figures in the bar's
// font, so that it does not change width as the figures grow.
void MeasureFields(HWND bar, StatusBar* record) {
    const StatusFigures widest = {999999999, 99999, 9999999, false, "", false, 9999999, true, 9999999};
    HDC dc = GetDC(bar);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(bar, WM_GETFONT, 0, 0)));
    for (int field = 0; field < kStatusFields; field++) {
        char text[kFieldTextSize];
        FormatStatusField(&widest, field, text, sizeof text);
        SIZE size = {};
        GetTextExtentPoint32A(dc, text, static_cast<int>(strlen(text)), &size);
        // Room for the field's borders and a little air on both sides.
        record->widths[field] = size.cx + 4 * GetSystemMetrics(SM_CXEDGE) + 8;
    }
    SelectObject(dc, old);
    ReleaseDC(bar, dc);
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
    SendMessageA(bar, WM_SIZE, 0, 0);  // the bar puts itself along the parent's bottom
    // Right edges: the counts from the left, the follow field and the
    // alerts' (no wider than nothing without a rule) at the right end, the
    // log's state between them with whatever is left.
    int edges[kStatusFields];
    int x = 0;
    for (int field = kFieldReceived; field < kFieldLog; field++) edges[field] = x += record->widths[field];
    int alertsWidth = record->alerting ? record->widths[kFieldAlerts] : 0;
    int logEnd = clientWidth - record->widths[kFieldFollow] - alertsWidth;
    edges[kFieldLog] = logEnd > x ? logEnd : x;
    edges[kFieldFollow] = edges[kFieldLog] + record->widths[kFieldFollow];
    edges[kFieldAlerts] = -1;
    SendMessageA(bar, SB_SETPARTS, kStatusFields, reinterpret_cast<LPARAM>(edges));
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
                     int64_t alerts) {
    StatusBar* record = RecordOf(bar);
    if (!record) return;
    if (record->alerting != (alerts >= 0)) {
        record->alerting = alerts >= 0;
        RECT client;
        GetClientRect(GetParent(bar), &client);
        PlaceStatusBar(bar, client.right);
    }
    bool following = ViewFollows(view);
    NoteStatusSample(&record->counts, GetTickCount(), received, following);
    StatusFigures figures = {received,
                             EntriesPerSecond(&record->counts),
                             static_cast<uint64_t>(SendMessageA(view, CVM_GETTEXTLINES, 0, 0)),
                             logStopped,
                             reason,
                             following,
                             EntriesSinceAway(&record->counts),
                             alerts >= 0,
                             alerts >= 0 ? static_cast<uint64_t>(alerts) : 0};
    for (int field = 0; field < kStatusFields; field++) {
        char text[kFieldTextSize];
        FormatStatusField(&figures, field, text, sizeof text);
        if (strcmp(text, record->shown[field]) == 0) continue;  // each write repaints the bar
        strcpy(record->shown[field], text);
        SendMessageA(bar, SB_SETTEXTA, field, reinterpret_cast<LPARAM>(text));
    }
}

bool IsFollowFieldDoubleClick(HWND bar, const NMHDR* notify) {
    return notify->hwndFrom == bar && notify->code == NM_DBLCLK &&
           reinterpret_cast<const NMMOUSE*>(notify)->dwItemSpec == kFieldFollow;
}
