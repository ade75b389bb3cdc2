// Append cost of the view as the program pays it: entries made by the real
// formatter go to a visible view that follows the end, one per posted message
// as socket notifications arrive, measured with about 1 MB and again with about
// 100 MB of text in the view, in rounds. Prints microseconds per entry at both
// (median and mean of the rounds) and the ratio of the medians.
//   view_append [entries-per-round] [small-MB] [large-MB] [rounds]
#include <winsock2.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "bench/bench_window.h"
#include "colorview/append_layout.h"
#include "colorview/colorview.h"
#include "syslog/entry_text.h"

namespace {

const UINT kNextEntry = WM_APP + 1;
const char kDatagram[] = "<189>Oct 11 22:14:15 router7 %LINK-3-UPDOWN: Interface Gi0/1, changed state to up";
const int kFillPiece = 8 << 20;  // bytes of entries per append while filling

HWND g_view;
int g_remaining;
std::string g_recorded;  // one entry's appends, as the window thread sends them
int g_recordedAppends;
const SenderAddress kSender = {kSenderIPv4, 40123, {192, 0, 2, 7}, 0};
BlockState g_blocks;
EntryWork g_work;  // large: static, not on the stack
EntryText g_entry;

// As the program's window thread appends an entry the reception thread built.
void FormatOne(HWND target) {
    BuildEntry(&g_blocks, &g_work, &g_entry, &kSender, time(nullptr), kDatagram, sizeof kDatagram - 1,
               kCharsetAuto);
    for (const char* append = FirstAppend(&g_entry); append; append = NextAppend(&g_entry, append))
        SendMessageA(target, CVM_APPENDTEXT, 0, reinterpret_cast<LPARAM>(append));
}

// Each entry posts the next, as FD_READ is posted again while datagrams wait:
// the queue is never idle during a measurement, as under a sustained burst.
LRESULT CALLBACK HostProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg != kNextEntry) return DefWindowProcA(hwnd, msg, wParam, lParam);
    FormatOne(g_view);
    if (--g_remaining > 0) PostMessageA(hwnd, kNextEntry, 0, 0);
    return 0;
}

double Seconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
    LARGE_INTEGER freq;
    QueryPerformanceFrequency(&freq);
    return static_cast<double>(to.QuadPart - from.QuadPart) / freq.QuadPart;
}

int TextLength() {
    return static_cast<int>(SendMessageA(g_view, WM_GETTEXTLENGTH, 0, 0));
}

// Brings the view to about `bytes` of text in large appends of whole entries.
// Colours in the filler may read differently than when sent piece by piece;
// only its size and mix of bytes matter.
void FillTo(long long bytes, const std::string& entry) {
    std::string piece;
    while (TextLength() < bytes) {
        long long missing = bytes - TextLength();
        piece.clear();
        while (static_cast<long long>(piece.size()) < (missing < kFillPiece ? missing : kFillPiece))
            piece += entry;
        if (!SendMessageA(g_view, CVM_APPENDTEXT, 0, reinterpret_cast<LPARAM>(piece.c_str()))) {
            fprintf(stderr, "the view refused %zu bytes at %d\n", piece.size(), TextLength());
            exit(1);
        }
    }
}

double MeasureRound(HWND host, int entries) {
    LARGE_INTEGER t0, t1;
    QueryPerformanceCounter(&t0);
    g_remaining = entries;
    PostMessageA(host, kNextEntry, 0, 0);
    MSG msg;
    while (g_remaining > 0 && GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
    // The burst is over: whatever the view deferred is drawn now.
    Pump();
    UpdateWindow(g_view);
    QueryPerformanceCounter(&t1);
    return 1e6 * Seconds(t0, t1) / entries;
}

// Other processes on the machine disturb single rounds; the median of
// several shows the view's own cost, the mean includes rare buffer growth.
struct Cost {
    double median;
    double mean;
    double layoutBytesPerEntry;
    double megabytes;  // text in the view when the measurement began
};

Cost Measure(HWND host, int entries, int rounds) {
    Cost cost = {0, 0, 0, TextLength() / 1e6};
    long long walked = g_layoutBytesWalked;
    std::vector<double> micros;
    for (int r = 0; r < rounds; r++) micros.push_back(MeasureRound(host, entries));
    for (double m : micros) cost.mean += m / rounds;
    std::sort(micros.begin(), micros.end());
    cost.median = micros[rounds / 2];
    cost.layoutBytesPerEntry =
        static_cast<double>(g_layoutBytesWalked - walked) / (static_cast<double>(entries) * rounds);
    return cost;
}

void PrintCost(const Cost& cost) {
    printf("at %7.1f MB: %9.1f us per entry (median), %9.1f (mean), %6.0f layout bytes per entry\n",
           cost.megabytes, cost.median, cost.mean, cost.layoutBytesPerEntry);
}

// Filling a hidden view keeps the screen out of the way; the view then shows
// again, following the end, and both sizes are measured from the same state.
Cost FillAndMeasure(HWND host, double megabytes, int entries, int rounds) {
    ShowWindow(host, SW_HIDE);
    FillTo(static_cast<long long>(megabytes * 1e6), g_recorded);
    ShowWindow(host, SW_SHOWNOACTIVATE);
    Pump();
    UpdateWindow(g_view);
    MeasureRound(host, entries / 10 + 1);  // warm-up: the first screen updates after showing
    return Measure(host, entries, rounds);
}

}  // namespace

int main(int argc, char** argv) {
    int entries = argc > 1 ? atoi(argv[1]) : 2000;
    double smallMB = argc > 2 ? atof(argv[2]) : 1;
    double largeMB = argc > 3 ? atof(argv[3]) : 100;
    int rounds = argc > 4 ? std::max(1, atoi(argv[4])) : 5;
    HINSTANCE instance = GetModuleHandleA(nullptr);
    RegisterViewClass(instance);
    StartBlockState(&g_blocks);

    // One entry as the formatter sends it, in the middle of a block.
    g_recorded = RecordedEntry(instance, kDatagram, kCharsetAuto, &g_recordedAppends);

    HWND host = MakeBenchWindow(instance, "ViewBenchHost", HostProc, WS_POPUP | WS_VISIBLE, 800, 500);
    g_view = CreateWindowExA(0, COLORVIEW_CLASS, "", WS_CHILD | WS_VISIBLE | WS_VSCROLL, 0, 0, 800, 500, host,
                             nullptr, instance, nullptr);
    Pump();
    printf("%d bytes and %d appends per entry, %d rounds of %d entries\n",
           static_cast<int>(g_recorded.size()), g_recordedAppends, rounds, entries);

    Cost small = FillAndMeasure(host, smallMB, entries, rounds);
    Cost large = FillAndMeasure(host, largeMB, entries, rounds);

    PrintCost(small);
    PrintCost(large);
    printf("ratio %.2f (median), %.2f (mean)\n", large.median / small.median, large.mean / small.mean);
    DestroyWindow(host);
    return 0;
}
