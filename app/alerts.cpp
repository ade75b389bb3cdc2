// Alerts (see alerts.h): the rule, its dialog, and the calls for attention
// of the entries that match it.
#include "app/alerts.h"

#include <cstdio>
#include <cstring>

#include "app/alert_flood.h"
#include "app/resource.h"
#include "app/status_counts.h"
#include "app/tray.h"
#include "syslog/charset.h"
#include "syslog/filter.h"
#include "syslog/parser.h"

namespace {

// The balloon's text room (NOTIFYICONDATA's szInfo and szInfoTitle).
enum { kTitleSize = 64, kTextSize = 256 };

struct Alerts {
    AlertRule rule;
    Filter filter;  // the rule's expression, read
    AlertFlood flood;
    int64_t sinceActivated;  // matches since the owner was last activated
    bool flashing;           // the taskbar button flashes until the owner is activated
    // The newest match that called or was held, which the next call shows.
    char newestTitle[kTitleSize];
    char newestText[kTextSize];
    uint64_t sounds, flashes;
};

Alerts g_alerts;

// ほか N 件: the matches a call counts beside the one it shows.
#define kTextOthersFormat "\x82\xd9\x82\xa9 %llu \x8c\x8f"

// In front: the owner, or a window of its own (the find box, a dialog), is
// the foreground window.
bool OwnerInFront(HWND owner) {
    HWND front = GetForegroundWindow();
    return front && IsWindowVisible(owner) && !IsIconic(owner) && GetAncestor(front, GA_ROOTOWNER) == owner;
}

// Host and severity as the balloon's title, the start of the message as
// the view shows it as its text: the newest match's, for the next call.
void DescribeMatch(const FilterFields* fields) {
    const char* severity = fields->hasPri ? LookupName(SeverityNames, fields->severity) : nullptr;
    snprintf(g_alerts.newestTitle, sizeof g_alerts.newestTitle, "%s%s%s", fields->host, severity ? " " : "",
             severity ? severity : "");
    size_t length = WholeCharacterPrefix(fields->text, fields->textLength, sizeof g_alerts.newestText - 1);
    memcpy(g_alerts.newestText, fields->text, length);
    g_alerts.newestText[length] = '\0';
}

// One call for `matches` matches, showing the newest.
void Call(HWND owner, uint64_t matches) {
    if (g_alerts.rule.balloon) {
        char body[kTextSize];
        char others[48] = "";
        if (matches > 1)
            snprintf(others, sizeof others, "\n" kTextOthersFormat, static_cast<unsigned long long>(matches - 1));
        // The count always fits: the message gives way to it.
        CopyWholeCharacters(body, sizeof body - strlen(others), g_alerts.newestText);
        strcat(body, others);
        ShowTrayBalloon(owner, g_alerts.newestTitle, body);
    }
    if (g_alerts.rule.sound && MessageBeep(MB_ICONWARNING)) g_alerts.sounds++;
}

void ScheduleHeldCall(HWND owner) {
    uint64_t wait = HeldCallWait(&g_alerts.flood, GetTickCount64());
    if (wait > 0) SetTimer(owner, kAlertTimer, static_cast<UINT>(wait), nullptr);
}

void ShowRule(HWND box, const AlertRule* rule) {
    SetDlgItemTextA(box, IDC_ALERT_EXPRESSION, rule->expression);
    CheckDlgButton(box, IDC_ALERT_BALLOON, rule->balloon ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(box, IDC_ALERT_SOUND, rule->sound ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(box, IDC_ALERT_FLASH, rule->flash ? BST_CHECKED : BST_UNCHECKED);
}

void TakeRule(HWND box, AlertRule* rule) {
    GetDlgItemTextA(box, IDC_ALERT_EXPRESSION, rule->expression, sizeof rule->expression);
    rule->balloon = IsDlgButtonChecked(box, IDC_ALERT_BALLOON) == BST_CHECKED;
    rule->sound = IsDlgButtonChecked(box, IDC_ALERT_SOUND) == BST_CHECKED;
    rule->flash = IsDlgButtonChecked(box, IDC_ALERT_FLASH) == BST_CHECKED;
}

// OK takes a rule that reads; a bad one stays in the box with the reason
// under it.
void OnOk(HWND box) {
    AlertRule rule;
    TakeRule(box, &rule);
    static Filter filter;
    char reason[kFilterErrorSize];
    if (!ParseFilter(rule.expression, &filter, reason, sizeof reason)) {
        // In the words the status bar uses for a filter that does not read.
        StatusFigures figures = {};
        figures.filterError = reason;
        char error[kFilterErrorSize + 32];
        FormatStatusField(&figures, kFieldFilter, error, sizeof error);
        SetDlgItemTextA(box, IDC_ALERT_ERROR, error);
        SetFocus(GetDlgItem(box, IDC_ALERT_EXPRESSION));
        return;
    }
    *reinterpret_cast<AlertRule*>(GetWindowLongPtrA(box, DWLP_USER)) = rule;
    EndDialog(box, IDOK);
}

INT_PTR CALLBACK AlertBoxProc(HWND box, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_INITDIALOG:
            SetWindowLongPtrA(box, DWLP_USER, lParam);
            SendDlgItemMessageA(box, IDC_ALERT_EXPRESSION, EM_LIMITTEXT, kSettingTextSize - 1, 0);
            ShowRule(box, reinterpret_cast<const AlertRule*>(lParam));
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK) {
                OnOk(box);
                return TRUE;
            }
            if (LOWORD(wParam) == IDCANCEL) {
                EndDialog(box, IDCANCEL);
                return TRUE;
            }
            return FALSE;
        default:
            return FALSE;
    }
}

}  // namespace

bool SetAlertRule(const AlertRule* rule) {
    if (!ParseFilter(rule->expression, &g_alerts.filter, nullptr, 0)) return false;
    g_alerts.rule = *rule;
    g_alerts.sinceActivated = 0;
    g_alerts.newestTitle[0] = g_alerts.newestText[0] = '\0';
    DropHeldMatches(&g_alerts.flood);
    return true;
}

const AlertRule* CurrentAlertRule() {
    return &g_alerts.rule;
}

bool EditAlertRule(HWND owner, HINSTANCE instance, AlertRule* rule) {
    return DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_ALERT), owner, AlertBoxProc,
                           reinterpret_cast<LPARAM>(rule)) == IDOK;
}

bool HasAlertRule() {
    return !FilterIsEmpty(&g_alerts.filter);
}

void NoteEntryForAlerts(HWND owner, const FilterFields* fields, const LeadBytes* leadBytes) {
    // An empty expression would match everything: it is no rule.
    if (!HasAlertRule() || !FilterMatches(&g_alerts.filter, fields, leadBytes)) return;
    g_alerts.sinceActivated++;
    // A match the user sees in front is only counted.
    if (OwnerInFront(owner)) return;
    if (g_alerts.rule.flash && !g_alerts.flashing) {
        // Until the user brings the window to the front.
        FLASHWINFO flash = {sizeof flash, owner, FLASHW_TRAY | FLASHW_TIMERNOFG, 0, 0};
        FlashWindowEx(&flash);
        g_alerts.flashing = true;
        g_alerts.flashes++;
    }
    DescribeMatch(fields);
    AlertCall call = NoteAlertMatch(&g_alerts.flood, GetTickCount64());
    if (call.matches > 0)
        Call(owner, call.matches);
    else
        ScheduleHeldCall(owner);
}

void OnAlertTimer(HWND owner) {
    KillTimer(owner, kAlertTimer);
    AlertCall call = TakeHeldCall(&g_alerts.flood, GetTickCount64());
    if (call.matches > 0)
        Call(owner, call.matches);
    else
        ScheduleHeldCall(owner);  // a timer that came early
}

void OnOwnerActivated(HWND owner) {
    g_alerts.sinceActivated = 0;
    DropHeldMatches(&g_alerts.flood);
    KillTimer(owner, kAlertTimer);
    if (g_alerts.flashing) {
        FLASHWINFO stop = {sizeof stop, owner, FLASHW_STOP, 0, 0};
        FlashWindowEx(&stop);
        g_alerts.flashing = false;
    }
}

int64_t AlertsSinceActivated() {
    return HasAlertRule() ? g_alerts.sinceActivated : -1;
}

uint64_t AlertSoundsPlayed() {
    return g_alerts.sounds;
}

uint64_t AlertFlashesStarted() {
    return g_alerts.flashes;
}
