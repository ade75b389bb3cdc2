// The filter field: a plain single-line edit control, subclassed for Enter,
// Esc and Ctrl+A, with a record of its own that knows the view and its feed.
// The edit control takes code page 932 text as the view does.
#include "app/filter_bar.h"

#include <commctrl.h>

#include <cstring>
#include <new>

#include "app/find_box.h"

namespace {

// これ以上条件を加えられません。 (No more terms can be added.), after
// "フィルターの誤り: " in the status bar: the filter is at its length or
// its count of terms.
#define kTextNoMoreTerms                                                                     \
    "\x82\xb1\x82\xea\x88\xc8\x8f\xe3\x8f\xf0\x8c\x8f\x82\xf0\x89\xc1\x82\xa6\x82\xe7\x82\xea\x82\xdc" \
    "\x82\xb9\x82\xf1\x81\x42"

struct FilterBar {
    ViewFeed* feed;
    char error[kFilterErrorSize];
};

const UINT_PTR kSubclassId = 1;

// The field's limit counts characters, of up to two bytes: read all it
// holds, so that a filter too long is refused, not applied cut short.
enum { kFieldBytes = 2 * kMaxFilterText };

// The record is the subclass's data and, for the functions called from
// outside, in the field's user-data slot, which the edit control leaves alone.
FilterBar* RecordOf(HWND bar) {
    return reinterpret_cast<FilterBar*>(GetWindowLongPtrA(bar, GWLP_USERDATA));
}

void ApplyTyped(HWND bar) {
    char text[kFieldBytes];
    GetWindowTextA(bar, text, sizeof text);
    ApplyFilterText(bar, text);
}

// Esc: back to the filter in force, and to the view.
void Restore(HWND bar, FilterBar* record) {
    SetWindowTextA(bar, record->feed->filterText);
    record->error[0] = '\0';
    SetFocus(ViewOnScreen(record->feed));
}

LRESULT CALLBACK FilterBarProc(HWND bar, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data) {
    FilterBar* record = reinterpret_cast<FilterBar*>(data);
    if (TakeSelectAllKey(bar, msg, wParam)) return 0;
    switch (msg) {
        case WM_KEYDOWN:
            if (wParam == VK_RETURN) {
                ApplyTyped(bar);
                return 0;
            }
            if (wParam == VK_ESCAPE) {
                Restore(bar, record);
                return 0;
            }
            break;
        case WM_CHAR:
            // The characters Enter and Esc type: a single-line edit would beep.
            if (wParam == '\r' || wParam == 0x1B) return 0;
            break;
        case WM_NCDESTROY:
            RemoveWindowSubclass(bar, FilterBarProc, kSubclassId);
            SetWindowLongPtrA(bar, GWLP_USERDATA, 0);
            delete record;
            break;
    }
    return DefSubclassProc(bar, msg, wParam, lParam);
}

}  // namespace

HWND CreateFilterBar(HWND parent, int id, HINSTANCE instance, ViewFeed* feed) {
    FilterBar* record = new (std::nothrow) FilterBar();
    if (!record) return nullptr;
    record->feed = feed;
    HWND bar = CreateWindowExA(WS_EX_CLIENTEDGE, "EDIT", "", WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL,
                               0, 0, 0, 0, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance,
                               nullptr);
    if (!bar || !SetWindowSubclass(bar, FilterBarProc, kSubclassId, reinterpret_cast<DWORD_PTR>(record))) {
        if (bar) DestroyWindow(bar);
        delete record;
        return nullptr;
    }
    SetWindowLongPtrA(bar, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(record));
    // The stock font belongs to the system: nothing to free.
    SendMessageA(bar, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    SendMessageA(bar, EM_LIMITTEXT, kMaxFilterText - 1, 0);
    return bar;
}

int PlaceFilterBar(HWND bar, int clientWidth) {
    if (!bar) return 0;
    HDC dc = GetDC(bar);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(bar, WM_GETFONT, 0, 0)));
    TEXTMETRICA metrics = {};
    GetTextMetricsA(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(bar, dc);
    // The text, the edit's own margin above and below it, and the sunken edge.
    int height = metrics.tmHeight + 2 + 2 * GetSystemMetrics(SM_CYEDGE) + 2;
    MoveWindow(bar, 0, 0, clientWidth, height, TRUE);
    return height;
}

void FocusFilterBar(HWND bar) {
    SetFocus(bar);
    SendMessageA(bar, EM_SETSEL, 0, -1);
}

bool ApplyFilterText(HWND bar, const char* text) {
    FilterBar* record = RecordOf(bar);
    if (!record) return false;
    if (!ApplyFilter(record->feed, text, record->error, sizeof record->error)) return false;
    record->error[0] = '\0';
    // The field shows the filter in force, also when it was not typed there.
    char shown[kFieldBytes];
    GetWindowTextA(bar, shown, sizeof shown);
    if (strcmp(shown, text) != 0) SetWindowTextA(bar, text);
    return true;
}

bool AddFilterTerm(HWND bar, const char* key, bool exact, bool negated, const char* value) {
    FilterBar* record = RecordOf(bar);
    if (!record) return false;
    char text[kFieldBytes];
    GetWindowTextA(bar, text, sizeof text);
    if (!AppendFilterTerm(text, sizeof text, key, exact, negated, value)) {
        strcpy(record->error, kTextNoMoreTerms);
        return false;
    }
    return ApplyFilterText(bar, text);
}

const char* FilterBarError(HWND bar) {
    FilterBar* record = RecordOf(bar);
    return record ? record->error : "";
}
