// The view at its size limit: a visible view filled with entries made by the
// real formatter until it holds the asked number of display lines, then
//  - width changes: the host's width goes back and forth between widths that
//    keep each entry on one row, each timed until the view has laid out and
//    painted again; prints milliseconds per change and per million display lines;
//  - finds: CVM_FIND forward from the start for a text that is not there
//    (the whole text searched, wrap included) and for the last line, and
//    backward from the end for the first line; prints milliseconds per find;
//  - filters: the same entries from ten hosts fed through the queue and the
//    window thread's feed until the view holds as many lines, then a filter
//    that keeps one host (a tenth of the entries) and no filter in turns,
//    each timed until the view on screen shows the result.
// Median, mean and best of the rounds, in wall-clock time and in the CPU time
// of the thread (other processes on a busy machine lengthen the first only).
//   view_scale [display-lines, default 1100000] [rounds, default 5] [ascii|japanese]
#include <winsock2.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "app/view_feed.h"
#include "bench/bench_window.h"
#include "colorview/colorview.h"

namespace {

const char kAsciiDatagram[] = "<189>Oct 11 22:14:15 router7 %LINK-3-UPDOWN: Interface Gi0/1, changed state to up";
// The same entry with its message in Japanese (code page 932): every line
// then holds double-byte characters.
const char kJapaneseDatagram[] =
    "<189>Oct 11 22:14:15 router7 %LINK-3-UPDOWN: \x83\x43\x83\x93\x83\x5E\x81\x5B\x83\x74\x83\x46\x81\x5B"
    "\x83\x58 Gi0/1 \x82\xCC\x8F\xF3\x91\xD4\x82\xAA\x83\x41\x83\x62\x83\x76\x82\xC9\x95\xCF\x82\xED\x82\xE8"
    "\x82\xDC\x82\xB5\x82\xBD";
const int kFillPiece = 8 << 20;  // bytes of entries per append while filling
const int kWidths[] = {1000, 940, 1060, 970};

std::string g_recorded;  // one entry's appends, as the window thread sends them

LRESULT CALLBACK HostProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_SIZE) {
        HWND view = GetWindow(hwnd, GW_CHILD);
        if (view) MoveWindow(view, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

// Wall-clock and thread CPU time, in milliseconds.
struct Clock {
    double wall;
    double cpu;
};
Clock Now() {
    LARGE_INTEGER freq, t;
    QueryPerformanceFrequency(&freq);
    QueryPerformanceCounter(&t);
    FILETIME created, exited, kernel, user;
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
    auto ms = [](const FILETIME& f) { return (static_cast<double>(f.dwHighDateTime) * 4294967296.0 + f.dwLowDateTime) / 1e4; };
    return {1000.0 * static_cast<double>(t.QuadPart) / freq.QuadPart, ms(kernel) + ms(user)};
}
Clock Since(const Clock& start) {
    Clock now = Now();
    return {now.wall - start.wall, now.cpu - start.cpu};
}

struct Figures {
    double median, mean, best;
};
Figures Summarise(std::vector<double> ms) {
    Figures f = {0, 0, 0};
    for (double m : ms) f.mean += m / ms.size();
    std::sort(ms.begin(), ms.end());
    f.median = ms[ms.size() / 2];
    f.best = ms[0];
    return f;
}

void PrintFigures(const char* what, const std::vector<Clock>& runs, int lines) {
    std::vector<double> wall, cpu;
    for (const Clock& c : runs) wall.push_back(c.wall), cpu.push_back(c.cpu);
    Figures w = Summarise(wall), c = Summarise(cpu);
    printf("%-28s wall %7.1f ms median, %7.1f mean, %7.1f best; cpu %7.1f median", what, w.median, w.mean, w.best,
           c.median);
    if (lines > 0) printf("; per million lines: wall %6.1f, cpu %6.1f ms (medians)", w.median * 1e6 / lines, c.median * 1e6 / lines);
    printf("\n");
}

int LineCount(HWND view) {
    return static_cast<int>(SendMessageA(view, EM_GETLINECOUNT, 0, 0));
}

// Whole entries in large appends until the view holds `lines` display lines.
void FillTo(HWND view, int lines) {
    std::string piece;
    while (LineCount(view) < lines) {
        long long missing = static_cast<long long>(lines - LineCount(view)) * g_recorded.size();
        piece.clear();
        while (static_cast<long long>(piece.size()) < std::min<long long>(missing, kFillPiece)) piece += g_recorded;
        if (!SendMessageA(view, CVM_APPENDTEXT, 0, reinterpret_cast<LPARAM>(piece.c_str()))) {
            fprintf(stderr, "the view refused %zu bytes at %d lines\n", piece.size(), LineCount(view));
            exit(1);
        }
    }
}

// One width change as a user's drag makes it, timed until the view has
// answered: laid out, painted.
Clock ChangeWidth(HWND host, HWND view, int width) {
    Clock t0 = Now();
    SetWindowPos(host, nullptr, 0, 0, width, 600, SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
    UpdateWindow(view);
    Pump();
    return Since(t0);
}

Clock Find(HWND view, WPARAM flags, const char* what, int from, LRESULT* result) {
    SendMessageA(view, EM_SETSEL, from, from);
    Clock t0 = Now();
    *result = SendMessageA(view, CVM_FIND, flags, reinterpret_cast<LPARAM>(what));
    UpdateWindow(view);
    Pump();
    return Since(t0);
}

Clock ApplyTimed(ViewFeed* feed, const char* filter) {
    Clock t0 = Now();
    char error[kFilterErrorSize];
    if (!ApplyFilter(feed, filter, error, sizeof error)) fprintf(stderr, "filter refused: %s\n", error);
    UpdateWindow(ViewOnScreen(feed));
    Pump();
    return Since(t0);
}

// The entries go through the queue and the feed, as the window thread
// takes them: `datagram`'s entry from hosts router0 to router9 in runs of
// 100 (a block each) until they take `lines` lines; then the filters, timed.
void MeasureFilters(HWND host, HWND view, const char* datagram, int lines, int rounds) {
    SendMessageA(view, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(""));  // the filled text goes
    RECT rc;
    GetClientRect(host, &rc);
    HWND filtered = CreateWindowExA(0, COLORVIEW_CLASS, "", WS_CHILD | WS_VSCROLL, 0, 0, rc.right, rc.bottom, host,
                                    nullptr, GetModuleHandleA(nullptr), nullptr);
    // Large records: static, not on the stack.
    static ViewFeed feed;
    static ViewQueue queue;
    static EntryWork work;
    static TimeCache times;
    static char packed[kMaxPackedFields];
    if (!filtered || !OpenViewFeed(&feed, view, filtered, 0) || !OpenViewQueue(&queue, 32u << 20, host, WM_APP)) {
        fprintf(stderr, "no memory for the feed\n");
        exit(1);
    }
    const SenderAddress sender = {kSenderIPv4, 40123, {192, 0, 2, 7}, 0};
    const char* message = strstr(datagram, "router7 ") + strlen("router7 ");
    const time_t now = time(nullptr);
    Clock t0 = Now();
    for (int i = 0; feed.store.lines < static_cast<uint64_t>(lines); i++) {
        char text[512];
        int n = snprintf(text, sizeof text, "<189>Oct 11 22:14:15 router%d %s", i / 100 % 10, message);
        EntryFields fields;
        ReadEntryFields(&times, &work, &sender, now, text, static_cast<size_t>(n), kCharsetShiftJis, &fields);
        QueueViewText(&queue, packed, PackEntryFields(&fields, packed, sizeof packed));
        if (i % 1000 == 999)
            while (FeedView(&feed, &queue, 1000)) {
            }
    }
    Clock fed = Since(t0);
    printf("%llu entries fed in %.0f ms (%.1f us each, making them included): %d display lines, %.1f MB\n",
           static_cast<unsigned long long>(feed.store.entries), fed.wall, fed.wall * 1000 / feed.store.entries,
           LineCount(view), SendMessageA(view, WM_GETTEXTLENGTH, 0, 0) / 1e6);
    std::vector<Clock> tenth, cleared;
    uint64_t shown = 0;
    for (int r = 0; r < rounds; r++) {
        tenth.push_back(ApplyTimed(&feed, "host:=router7"));
        shown = feed.views[kFilteredEntries].entries;
        cleared.push_back(ApplyTimed(&feed, ""));
    }
    PrintFigures("filter: a tenth kept:", tenth, 0);
    printf("%28s %llu of %llu entries shown\n", "", static_cast<unsigned long long>(shown),
           static_cast<unsigned long long>(feed.store.entries));
    PrintFigures("filter: cleared:", cleared, LineCount(ViewOnScreen(&feed)));
    CloseViewQueue(&queue);
    CloseViewFeed(&feed);
    DestroyWindow(filtered);
}

}  // namespace

int main(int argc, char** argv) {
    int lines = argc > 1 ? atoi(argv[1]) : 1100000;
    int rounds = argc > 2 ? std::max(1, atoi(argv[2])) : 5;
    bool japanese = argc > 3 && strcmp(argv[3], "japanese") == 0;
    HINSTANCE instance = GetModuleHandleA(nullptr);
    RegisterViewClass(instance);

    // One entry as the window thread appends it, in the middle of a block.
    g_recorded = RecordedEntry(instance, japanese ? kJapaneseDatagram : kAsciiDatagram, kCharsetShiftJis, nullptr);

    HWND host = MakeBenchWindow(instance, "ViewScaleHost", HostProc, WS_POPUP | WS_VISIBLE, kWidths[0], 600);
    HWND view = CreateWindowExA(0, COLORVIEW_CLASS, "", WS_CHILD | WS_VISIBLE | WS_VSCROLL, 0, 0, kWidths[0], 600,
                                host, nullptr, instance, nullptr);
    Pump();
    ShowWindow(host, SW_HIDE);  // filling needs no picture
    SendMessageA(view, CVM_APPENDTEXT, 0, reinterpret_cast<LPARAM>("the first line\r\n"));
    FillTo(view, lines);
    SendMessageA(view, CVM_APPENDTEXT, 0, reinterpret_cast<LPARAM>("the last line"));
    ShowWindow(host, SW_SHOWNOACTIVATE);
    Pump();
    UpdateWindow(view);
    const int filled = LineCount(view);
    printf("%s entries of %d bytes: %d display lines, %.1f MB of text\n", japanese ? "japanese" : "ascii",
           static_cast<int>(g_recorded.size()), filled,
           SendMessageA(view, WM_GETTEXTLENGTH, 0, 0) / 1e6);

    std::vector<Clock> widthRuns;
    for (int r = 0; r < rounds; r++) widthRuns.push_back(ChangeWidth(host, view, kWidths[1 + r % 3]));
    ChangeWidth(host, view, kWidths[0]);
    if (LineCount(view) != filled) printf("warning: %d display lines after the width changes\n", LineCount(view));
    PrintFigures("width change:", widthRuns, filled);

    // Finds over the whole text: for nothing (wrapping round), from the
    // start to the last line, and backward from the end to the first.
    const int length = static_cast<int>(SendMessageA(view, WM_GETTEXTLENGTH, 0, 0));
    struct {
        const char* what;
        WPARAM flags;
        const char* text;
        int from;
    } finds[] = {
        {"absent, forward", 0, "no such text", 0},
        {"last line, forward", 0, "the last line", 0},
        {"first line, backward", CVFIND_BACKWARD, "the first line", length},
    };
    for (const auto& f : finds) {
        std::vector<Clock> runs;
        LRESULT result = 0;
        for (int r = 0; r < rounds; r++) runs.push_back(Find(view, f.flags, f.text, f.from, &result));
        PrintFigures(("find " + std::string(f.what) + ":").c_str(), runs, 0);
        printf("%28s result %#lx\n", "", static_cast<unsigned long>(result));
    }
    MeasureFilters(host, view, japanese ? kJapaneseDatagram : kAsciiDatagram, lines, rounds);
    DestroyWindow(host);
    return 0;
}
