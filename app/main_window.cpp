// The main window procedure and the About box: the filter field on top, the
// view under it, the status bar at the bottom; and the hand-offs to the tray
// icon, the alerts, the remembered settings and the other instances. The
// window lacks WS_CLIPCHILDREN on purpose: invalidating it after the mask
// toggle also invalidates the view, which then repaints in the new mode.
#include "app/main_window.h"

#include <commctrl.h>

#include <cstring>
#include <new>

#include "app/alerts.h"
#include "app/autostart.h"
#include "app/filter_bar.h"
#include "app/find_box.h"
#include "app/remembered.h"
#include "app/resource.h"
#include "app/single_instance.h"
#include "app/status_bar.h"
#include "app/tray.h"
#include "app/view_feed.h"
#include "app/view_menu.h"
#include "colorview/colorview.h"
#include "logfile/log_status.h"
#include "net/reception.h"
#include "syslog/texts.h"

char g_title[100];
char g_className[100];
HINSTANCE g_hInstance;

namespace {

HWND g_hwndMain;
// The command line's settings. maxLines is the most logical lines the view
// keeps (0: no limit); the log file keeps everything.
Options g_options;
// The kept entries and what the views show of them, from WM_CREATE to WM_DESTROY.
ViewFeed* g_feed;
HWND g_hwndFilter;

// The view on screen: every entry's, or the filter's (they swap ids).
HWND View() {
    return g_feed ? ViewOnScreen(g_feed) : nullptr;
}
// The filter given for the run, by the command line or a later start: it
// is not remembered unless the user applies another one (none included).
bool g_filterGiven;
char g_givenFilter[kMaxFilterText];
// The title shows whether the log file is being written.
bool g_logStopped;
// Reception's entry count when the view was last fed: whether entries still arrive.
uint64_t g_entriesFed;

// 0x50300104: the view understands the edit-control bits as an edit does.
const DWORD kViewStyle = WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL | ES_NOHIDESEL | ES_MULTILINE;
static_assert(kViewStyle == 0x50300104, "the view's style bits");

// Posted by the reception thread: entries wait in the queue (the first one
// after it was empty), and an error closed a socket (wParam: its slot).
enum : UINT {
    WM_ENTRIES_QUEUED = WM_APP + 1,
    WM_RECEPTION_ERROR = WM_APP + 2,
};
static_assert(WM_QUEUEDBYTES == WM_APP + 3 && WM_TRAYICON == WM_APP + 4 && WM_CALLQUERY == WM_APP + 5 &&
                  WM_PORTQUERY == WM_APP + 6,
              "the main window's own messages");
// The longest stretch the window thread spends appending before it looks at
// input and painting again, and the pause it leaves between two stretches
// while entries arrive faster than it takes them. Under Wine every thread
// is scheduled alike, whatever its priority, and every call into the Wine
// server waits its turn: the pause leaves the CPU and the server to
// reception, which must keep up with the network, while the queue holds
// what the view has not taken yet. The fuller the queue, the shorter the
// pause: a burst is taken in after it, a steady stream as it comes, and the
// queue never has to drop what the view should show.
const DWORD kFeedSliceMilliseconds = 10;
const UINT kFeedPauseMilliseconds = 250;

// The pause for a queue holding `queued` of its `bound` bytes: the longest
// when it is empty, none from half full on.
UINT FeedPause(size_t queued, size_t bound) {
    if (bound == 0 || queued >= bound / 2) return 0;
    return static_cast<UINT>(kFeedPauseMilliseconds - kFeedPauseMilliseconds * 2.0 * queued / bound);
}
// While entries keep arriving, the window thread looks at the queue this
// often rather than being woken for each one.
const UINT kFeedLookMilliseconds = 30;
const UINT_PTR kFeedTimer = 1;
// The status bar's tick: its texts change at most four times a second.
const UINT_PTR kStatusTimer = 2;
const UINT kStatusMilliseconds = 250;

// Windows の起動時に開始する設定を変更できませんでした。
const char kTextAutostartFailed[] =
    "Windows \x82\xcc\x8bN\x93\xae\x8e\x9e\x82\xc9\x8aJ\x8en\x82\xb7\x82\xe9\x90\xdd\x92\xe8\x82\xf0\x95\xcf"
    "\x8dX\x82\xc5\x82\xab\x82\xdc\x82\xb9\x82\xf1\x82\xc5\x82\xb5\x82\xbd\x81"
    "B";

void ShowError(HWND hwnd, const char* text) {
    MessageBoxA(hwnd, text, kTextErrorCaption, MB_ICONERROR);
}

// The main window's record of reception, kept in its user-data slot from
// WM_CREATE to WM_DESTROY.
Reception* ReceptionOf(HWND hwnd) {
    return reinterpret_cast<Reception*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
}

static_assert(IDM_CHARSET_SJIS - IDM_CHARSET_AUTO == kCharsetShiftJis &&
                  IDM_CHARSET_UTF8 - IDM_CHARSET_AUTO == kCharsetUtf8 &&
                  IDM_CHARSET_EUCJP - IDM_CHARSET_AUTO == kCharsetEucJp,
              "the character set menu's ids follow CharsetMode");

// The View menu's character set: checked in the menu and handed to the
// reception thread, which reads it for each entry from then on.
void ChooseCharset(HWND hwnd, CharsetMode charset) {
    CheckMenuRadioItem(GetMenu(hwnd), IDM_CHARSET_AUTO, IDM_CHARSET_EUCJP, IDM_CHARSET_AUTO + charset,
                       MF_BYCOMMAND);
    Reception* reception = ReceptionOf(hwnd);
    if (reception) SetEntryCharset(&reception->sink, charset);
}

// Writes the remembered settings; the first failure after a save that
// worked says so in a status line.
void Remember(HWND hwnd) {
    if (g_feed && (!g_filterGiven || strcmp(g_feed->filterText, g_givenFilter) != 0))
        CopyWholeCharacters(RememberedSettings()->filter, sizeof RememberedSettings()->filter, g_feed->filterText);
    char failure[kSettingsNoteSize];
    Reception* reception = ReceptionOf(hwnd);
    if (!SaveRemembered(hwnd, failure, sizeof failure) && failure[0] != '\0' && reception)
        WriteStatusLine(&reception->sink, failure);
}

// Each entry that arrives, for the alert rule.
void MatchAlertRule(void* window, const FilterFields* fields, const LeadBytes* leadBytes) {
    NoteEntryForAlerts(static_cast<HWND>(window), fields, leadBytes);
}

// The alert rule from now on (one that does not read leaves the rule in
// force). The feed hands entries over only while there is a rule, so that
// without one it makes nothing for it.
void UseAlertRule(HWND hwnd, const AlertRule* rule) {
    SetAlertRule(rule);
    g_feed->onEntry = HasAlertRule() ? MatchAlertRule : nullptr;
    g_feed->onEntryContext = hwnd;
}

// The remembered settings, and the command line's options that win over
// them for this run: the filter, the view's mask, the tray item, the find
// box and the alert rule (the character set goes with reception, below).
void ApplySettings(HWND hwnd) {
    const Settings* s = RememberedSettings();
    g_filterGiven = g_options.filter != nullptr;
    if (g_filterGiven) CopyWholeCharacters(g_givenFilter, sizeof g_givenFilter, g_options.filter);
    // Read already: the command line and the settings file refuse a filter that cannot be.
    ApplyFilterText(g_hwndFilter, g_options.filter ? g_options.filter : s->filter);
    g_maskMode = s->mask;
    CheckMenuItem(GetMenu(hwnd), IDM_MASK, MF_BYCOMMAND | (s->mask ? MF_CHECKED : MF_UNCHECKED));
    SetMinimizeToTray(s->tray);
    CheckMenuItem(GetMenu(hwnd), IDM_TRAY_ON_MINIMIZE, MF_BYCOMMAND | (s->tray ? MF_CHECKED : MF_UNCHECKED));
    SetFindSettings(s->find, s->findMatchCase);
    AlertRule rule = {"", s->alertBalloon, s->alertSound, s->alertFlash};
    CopyWholeCharacters(rule.expression, sizeof rule.expression, g_options.alert ? g_options.alert : s->alert);
    UseAlertRule(hwnd, &rule);  // it reads: the options and the settings file refused any that did not
}

// A view in the main window's client area; `style` says whether it is visible.
HWND CreateView(HWND hwnd, int id, DWORD style, HINSTANCE instance) {
    // No configuration is ever sent: the view runs with its own defaults.
    return CreateWindowExA(WS_EX_CLIENTEDGE, COLORVIEW_CLASS, "", style, 0, 0, 0, 0, hwnd,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
}

LRESULT OnCreate(HWND hwnd, const CREATESTRUCTA* cs) {
    // Every entry's view on screen, the filter's hidden behind it. The line
    // limit is the feed's: it keeps the entries, each view those it shows.
    HWND all = CreateView(hwnd, IDC_VIEW, kViewStyle, cs->hInstance);
    HWND filtered = CreateView(hwnd, IDC_OTHERVIEW, kViewStyle & ~WS_VISIBLE, cs->hInstance);
    g_feed = new (std::nothrow) ViewFeed();
    if (!all || !filtered || !g_feed || !OpenViewFeed(g_feed, all, filtered, g_options.maxLines)) {
        delete g_feed;
        g_feed = nullptr;
        return -1;
    }
    g_hwndFilter = CreateFilterBar(hwnd, IDC_FILTER, cs->hInstance, g_feed);
    // Without its status bar the program still receives and shows everything.
    if (CreateStatusBar(hwnd, IDC_STATUSBAR, cs->hInstance))
        SetTimer(hwnd, kStatusTimer, kStatusMilliseconds, nullptr);
    // Without the shell's notification area the window stays on the taskbar.
    AddTrayIcon(hwnd, cs->hInstance);
    ApplySettings(hwnd);
    // The log file, the start-up line and the sockets; while the log file
    // cannot be written the program still runs and the view gets everything.
    Reception* reception = new (std::nothrow) Reception();
    char failures[4 * kErrorTextSize];
    if (!reception || !OpenReception(reception, g_options.logPath, g_options.keepDays,
                                     static_cast<unsigned short>(g_options.port), hwnd, WM_ENTRIES_QUEUED,
                                     WM_RECEPTION_ERROR, failures, sizeof failures)) {
        delete reception;
        ShowError(hwnd, kTextSocketFailed);
        return 0;
    }
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(reception));
    ChooseCharset(hwnd, g_options.charsetGiven ? g_options.charset : RememberedSettings()->charset);
    // Before the reception thread runs: the settings' notes follow the
    // start-up line at once.
    const SettingsNotes* notes = RememberedNotes();
    for (int i = 0; i < notes->count; i++) WriteStatusLine(&reception->sink, notes->lines[i]);
    // The sockets that were bound receive while the box is open: it may
    // wait for a click for hours (a start with Windows).
    bool started = StartReception(reception);
    if (failures[0] != '\0') ShowError(hwnd, failures);
    if (!started) ShowError(hwnd, kTextSocketFailed);
    return 0;
}

void OnDestroy(HWND hwnd) {
    Remember(hwnd);
    RemoveTrayIcon(hwnd);
    KillTimer(hwnd, kAlertTimer);
    KillTimer(hwnd, kStatusTimer);
    DestroyStatusBar(GetDlgItem(hwnd, IDC_STATUSBAR));
    Reception* reception = ReceptionOf(hwnd);
    if (reception) {
        // The thread stops first; nothing is written after the log file closes.
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
        CloseReception(reception);
        delete reception;
    }
    if (g_feed) {
        CloseViewFeed(g_feed);
        delete g_feed;
        g_feed = nullptr;
    }
    PostQuitMessage(0);
}

void OnSize(HWND hwnd, WPARAM kind) {
    // Minimized, the client area is empty: a view of width 0 would wrap every
    // character onto a line of its own. It keeps its size until the restore.
    if (kind == SIZE_MINIMIZED) {
        OnMinimized(hwnd);
        return;
    }
    RECT rc;
    GetClientRect(hwnd, &rc);
    // The view takes exactly the client area between the filter field and
    // the status bar.
    int fieldHeight = PlaceFilterBar(g_hwndFilter, rc.right);
    int barHeight = PlaceStatusBar(GetDlgItem(hwnd, IDC_STATUSBAR), rc.right);
    int viewHeight = rc.bottom > barHeight + fieldHeight ? rc.bottom - barHeight - fieldHeight : 0;
    // The hidden view too: it is laid out for the width it will be shown at.
    const int kViews[] = {IDC_VIEW, IDC_OTHERVIEW};
    for (int id : kViews) MoveWindow(GetDlgItem(hwnd, id), 0, fieldHeight, rc.right, viewHeight, TRUE);
}

// The status bar's tick: reception's count and the log file's state.
void OnStatusTick(HWND hwnd) {
    Reception* reception = ReceptionOf(hwnd);
    char reason[kLogReasonSize] = "";
    bool stopped = reception && GetLogFileState(&reception->sink.log, reason, sizeof reason) == kLogStopped;
    uint64_t received = reception ? reception->sink.entries.load(std::memory_order_relaxed) : 0;
    FilterCounts filter = {g_feed->filtering, g_feed->views[kFilteredEntries].entries, g_feed->store.entries,
                           FilterBarError(g_hwndFilter)};
    UpdateStatusBar(GetDlgItem(hwnd, IDC_STATUSBAR), View(), received, stopped, reason, &filter,
                    AlertsSinceActivated());
    UpdateTrayTip(hwnd, received);
}

// Back to the end, as Ctrl+End in the view: the caret at the end of the
// text and its last page in view, which the view then follows.
void ViewToEnd(HWND view) {
    LRESULT length = SendMessageA(view, WM_GETTEXTLENGTH, 0, 0);
    SendMessageA(view, EM_SETSEL, length, length);
    SendMessageA(view, WM_VSCROLL, SB_BOTTOM, 0);
}

LRESULT OnNotify(HWND hwnd, const NMHDR* notify) {
    if (IsFollowFieldDoubleClick(GetDlgItem(hwnd, IDC_STATUSBAR), notify)) ViewToEnd(View());
    return 0;
}

// "syslog [ログ停止]" while the log file is not written. The log file's
// writer changes its state before it writes the status line that says so,
// and that line wakes the window like any entry: the title follows it here.
void ShowLogState(HWND hwnd, const Reception* reception) {
    bool stopped = GetLogFileState(&reception->sink.log, nullptr, 0) == kLogStopped;
    if (stopped == g_logStopped) return;
    g_logStopped = stopped;
    char title[sizeof g_title + sizeof kTextLogStoppedTitle];
    strcpy(title, g_title);
    if (stopped) strcat(title, kTextLogStoppedTitle);
    SetWindowTextA(hwnd, title);
}

// Feeds the view a slice of the queue and decides when to come back: at
// once when entries remain and reception has gone quiet, after a pause
// while entries keep arriving, after a short look when the queue ran empty
// but entries still arrive, and not until the next posted wake-up once the
// queue has stayed empty.
void OnEntriesQueued(HWND hwnd) {
    KillTimer(hwnd, kFeedTimer);
    Reception* reception = ReceptionOf(hwnd);
    if (!reception) return;
    // The status bar counts the entries appended while the user looks elsewhere.
    bool following = ViewFollows(View());
    uint64_t taken = 0;
    bool more = FeedView(g_feed, &reception->sink.queue, kFeedSliceMilliseconds, &taken);
    NoteEntriesShown(GetDlgItem(hwnd, IDC_STATUSBAR), taken, following);
    uint64_t entries = reception->sink.entries.load(std::memory_order_relaxed);
    bool arriving = entries != g_entriesFed;
    g_entriesFed = entries;
    const EntryQueue* queue = &reception->sink.queue.entries;
    UINT pause = arriving ? FeedPause(QueuedBytes(queue), queue->capacity) : 0;
    if (more && pause < USER_TIMER_MINIMUM)
        PostMessageA(hwnd, WM_ENTRIES_QUEUED, 0, 0);
    else if (more)
        SetTimer(hwnd, kFeedTimer, pause, nullptr);
    else if (arriving || !SleepUntilQueued(&reception->sink.queue))
        SetTimer(hwnd, kFeedTimer, kFeedLookMilliseconds, nullptr);
    ShowLogState(hwnd, reception);
}

void OnReceptionError(HWND hwnd, WPARAM slot) {
    Reception* reception = ReceptionOf(hwnd);
    if (reception) ShowError(hwnd, ReceptionErrorText(reception, slot));
}

void OnPaint(HWND hwnd) {
    PAINTSTRUCT ps;
    BeginPaint(hwnd, &ps);
    EndPaint(hwnd, &ps);
}

void ToggleMask(HWND hwnd) {
    g_maskMode = !g_maskMode;
    CheckMenuItem(GetMenu(hwnd), IDM_MASK, MF_BYCOMMAND | (g_maskMode ? MF_CHECKED : MF_UNCHECKED));
    UpdateWindow(hwnd);
    InvalidateRect(hwnd, nullptr, FALSE);
    RememberedSettings()->mask = g_maskMode != 0;
    Remember(hwnd);
}

void ToggleTray(HWND hwnd) {
    bool on = !MinimizesToTray();
    SetMinimizeToTray(on);
    CheckMenuItem(GetMenu(hwnd), IDM_TRAY_ON_MINIMIZE, MF_BYCOMMAND | (on ? MF_CHECKED : MF_UNCHECKED));
    RememberedSettings()->tray = on;
    Remember(hwnd);
}

void ToggleAutostart(HWND hwnd) {
    if (!SetStartWithWindows(!StartsWithWindows(), &g_options)) ShowError(hwnd, kTextAutostartFailed);
}

// ツール ▸ 通知の条件...: the rule from now on, and remembered.
void EditAlerts(HWND hwnd) {
    AlertRule rule = *CurrentAlertRule();
    if (!EditAlertRule(hwnd, g_hInstance, &rule)) return;
    UseAlertRule(hwnd, &rule);
    Settings* s = RememberedSettings();
    strcpy(s->alert, rule.expression);
    s->alertBalloon = rule.balloon;
    s->alertSound = rule.sound;
    s->alertFlash = rule.flash;
    Remember(hwnd);
}

// A later start for the same port handed over its --filter and --alert (for
// this run, as the command line's), and asks this window to come to the front.
LRESULT OnCopyData(HWND hwnd, const COPYDATASTRUCT* data) {
    HandOverKind kind;
    char text[kSettingTextSize];
    if (!ReadHandOver(data, &kind, text, sizeof text)) return FALSE;
    if (kind == kHandOverFilter && ApplyFilterText(g_hwndFilter, text)) {
        g_filterGiven = true;
        strcpy(g_givenFilter, text);
    } else if (kind == kHandOverAlert) {
        AlertRule rule = *CurrentAlertRule();
        strcpy(rule.expression, text);
        UseAlertRule(hwnd, &rule);  // the later start refused one that does not read; this one keeps its own
    } else if (kind == kHandOverShow) {
        ShowFromTray(hwnd);
    }
    return TRUE;
}

void OnInitMenuPopup(HMENU popup) {
    EnableCopy(popup, View());
    // The value may have been changed outside the program.
    CheckMenuItem(popup, IDM_AUTOSTART, MF_BYCOMMAND | (StartsWithWindows() ? MF_CHECKED : MF_UNCHECKED));
}

// The tests' questions about the calls they cannot see or hear.
LRESULT OnCallQuery(WPARAM which, LPARAM index) {
    switch (which) {
        case kCallTrayIcon:
            return TrayIconShown();
        case kCallBalloons:
            return static_cast<LRESULT>(TrayBalloonsShown());
        case kCallSounds:
            return static_cast<LRESULT>(AlertSoundsPlayed());
        case kCallFlashes:
            return static_cast<LRESULT>(AlertFlashesStarted());
        case kCallTrayTip:
            if (index < 0 || static_cast<size_t>(index) > strlen(TrayTip())) return -1;
            return static_cast<unsigned char>(TrayTip()[index]);
        default:
            return -1;
    }
}

LRESULT OnCommand(HWND hwnd, WPARAM wParam, LPARAM lParam) {
    switch (LOWORD(wParam)) {
        case IDM_ABOUT:
            DialogBoxParamA(g_hInstance, MAKEINTRESOURCEA(IDD_ABOUTBOX), hwnd, AboutDlgProc, 0);
            return 0;
        case IDM_EXIT:
            DestroyWindow(hwnd);
            return 0;
        case IDM_MASK:
            ToggleMask(hwnd);
            return 0;
        case IDM_COPY:
            SendMessageA(View(), WM_COPY, 0, 0);
            return 0;
        case IDM_SELECTALL:
            SendMessageA(View(), EM_SETSEL, 0, -1);
            return 0;
        case IDM_FIND:
            OpenFindBox(hwnd, g_hInstance);
            return 0;
        case IDM_FINDNEXT:
        case IDM_FINDPREV:
            FindAgain(hwnd, g_hInstance, LOWORD(wParam) == IDM_FINDPREV);
            return 0;
        case IDM_FILTER:
            FocusFilterBar(g_hwndFilter);
            return 0;
        case IDM_CHARSET_AUTO:
        case IDM_CHARSET_SJIS:
        case IDM_CHARSET_UTF8:
        case IDM_CHARSET_EUCJP:
            ChooseCharset(hwnd, static_cast<CharsetMode>(LOWORD(wParam) - IDM_CHARSET_AUTO));
            RememberedSettings()->charset = static_cast<CharsetMode>(LOWORD(wParam) - IDM_CHARSET_AUTO);
            Remember(hwnd);
            return 0;
        case IDM_TRAY_ON_MINIMIZE:
            ToggleTray(hwnd);
            return 0;
        case IDM_TRAY_SHOW:
            ShowFromTray(hwnd);
            return 0;
        case IDM_ALERT_RULE:
            EditAlerts(hwnd);
            return 0;
        case IDM_AUTOSTART:
            ToggleAutostart(hwnd);
            return 0;
        case IDM_REMEMBER:
            Remember(hwnd);
            return 0;
        default:
            return DefWindowProcA(hwnd, WM_COMMAND, wParam, lParam);
    }
}

}  // namespace

void RegisterMainClass(HINSTANCE hInstance) {
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = MainWndProc;
    wc.hInstance = hInstance;
    wc.hIcon = LoadIconA(hInstance, MAKEINTRESOURCEA(IDI_ORNIVEL));
    // LoadIcon would pick the large size; the small icon has its own picture.
    wc.hIconSm = static_cast<HICON>(LoadImageA(hInstance, MAKEINTRESOURCEA(IDI_SMALL), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON),
                                               LR_SHARED));
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszMenuName = MAKEINTRESOURCEA(IDC_ORNIVEL);
    wc.lpszClassName = g_className;
    RegisterClassExA(&wc);  // a failure shows as the window creation's
}

bool CreateMainWindow(HINSTANCE hInstance, int nCmdShow, const Options* options) {
    g_hInstance = hInstance;
    g_options = *options;
    // WM_CREATE runs inside: view, log file, status line and socket all
    // exist before the window is first shown.
    LoadRemembered();
    g_hwndMain = CreateWindowExA(0, g_className, g_title, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0,
                                 CW_USEDEFAULT, 0, nullptr, nullptr, hInstance, nullptr);
    if (!g_hwndMain) return false;
    ShowRememberedWindow(g_hwndMain, nCmdShow, g_options.minimized);
    UpdateWindow(g_hwndMain);
    return true;
}

HWND MainWindow() {
    return g_hwndMain;
}

LRESULT CALLBACK MainWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_CREATE:
            return OnCreate(hwnd, reinterpret_cast<const CREATESTRUCTA*>(lParam));
        case WM_DESTROY:
            OnDestroy(hwnd);
            return 0;
        case WM_SIZE:
            OnSize(hwnd, wParam);
            return 0;
        case WM_SETFOCUS:
            SetFocus(GetDlgItem(hwnd, IDC_VIEW));
            return 0;
        case WM_PAINT:
            OnPaint(hwnd);
            return 0;
        case WM_CLOSE:
            DestroyWindow(hwnd);
            return 0;
        case WM_QUERYENDSESSION:
            return 1;
        case WM_ENDSESSION:
            if (wParam) DestroyWindow(hwnd);
            return 0;
        case WM_COMMAND:
            return OnCommand(hwnd, wParam, lParam);
        case WM_CONTEXTMENU:
            // The frame's own (the system menu on the caption) stays the system's.
            if (reinterpret_cast<HWND>(wParam) != GetDlgItem(hwnd, IDC_VIEW))
                return DefWindowProcA(hwnd, msg, wParam, lParam);
            ShowViewMenu(hwnd, View(), g_hwndFilter, g_feed, lParam, g_hInstance);
            return 0;
        case WM_ENTRIES_QUEUED:
            OnEntriesQueued(hwnd);
            return 0;
        case WM_TIMER:
            if (wParam == kFeedTimer) OnEntriesQueued(hwnd);
            if (wParam == kStatusTimer) OnStatusTick(hwnd);
            if (wParam == kAlertTimer) OnAlertTimer(hwnd);
            return 0;
        case WM_NOTIFY:
            return OnNotify(hwnd, reinterpret_cast<const NMHDR*>(lParam));
        case WM_INITMENUPOPUP:
            OnInitMenuPopup(reinterpret_cast<HMENU>(wParam));
            return 0;
        case WM_ACTIVATE:
            if (LOWORD(wParam) != WA_INACTIVE) OnOwnerActivated(hwnd);
            return DefWindowProcA(hwnd, msg, wParam, lParam);
        case WM_EXITSIZEMOVE:
            Remember(hwnd);
            return 0;
        case WM_TRAYICON:
            OnTrayIcon(hwnd, g_hInstance, lParam);
            return 0;
        case WM_COPYDATA:
            return OnCopyData(hwnd, reinterpret_cast<const COPYDATASTRUCT*>(lParam));
        case WM_PORTQUERY:
            return g_options.port;
        case WM_CALLQUERY:
            return OnCallQuery(wParam, lParam);
        case WM_RECEPTION_ERROR:
            OnReceptionError(hwnd, wParam);
            return 0;
        case WM_QUEUEDBYTES:
            return ReceptionOf(hwnd) ? static_cast<LRESULT>(QueuedBytes(&ReceptionOf(hwnd)->sink.queue.entries)) : 0;
        default:
            if (IsTaskbarCreated(msg)) AddTrayIcon(hwnd, g_hInstance);
            return DefWindowProcA(hwnd, msg, wParam, lParam);
    }
}

INT_PTR CALLBACK AboutDlgProc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM) {
    switch (msg) {
        case WM_INITDIALOG:
            return TRUE;  // the system sets the default focus
        case WM_COMMAND:
            // Esc and the close box arrive as IDCANCEL.
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                EndDialog(hDlg, LOWORD(wParam));
                return TRUE;
            }
            return FALSE;
        default:
            return FALSE;
    }
}
