// Responsiveness of the running program for bench/burst: sends WM_NULL to its
// main window every few milliseconds for a while and prints the round trips'
// 50th and 99th percentiles and the longest, in milliseconds. A reply needs
// the window thread to reach its message loop, so this is how long input
// would wait.
//   latency SECONDS [INTERVAL-MS]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv) {
    double seconds = argc > 1 ? atof(argv[1]) : 10;
    DWORD interval = argc > 2 ? static_cast<DWORD>(atoi(argv[2])) : 10;
    HWND main = FindWindowA("ORNIVEL", nullptr);
    if (!main) return 2;
    LARGE_INTEGER frequency, start, before, after;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    std::vector<double> trips;
    for (;;) {
        QueryPerformanceCounter(&before);
        if (static_cast<double>(before.QuadPart - start.QuadPart) / frequency.QuadPart >= seconds) break;
        DWORD_PTR ignored = 0;
        if (!SendMessageTimeoutA(main, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &ignored)) break;
        QueryPerformanceCounter(&after);
        trips.push_back(1000.0 * static_cast<double>(after.QuadPart - before.QuadPart) / frequency.QuadPart);
        Sleep(interval);
    }
    if (trips.empty()) return 1;
    std::sort(trips.begin(), trips.end());
    printf("round trips %zu p50 %.1f ms p99 %.1f ms max %.1f ms\n", trips.size(), trips[trips.size() / 2],
           trips[std::min(trips.size() - 1, trips.size() * 99 / 100)], trips.back());
    return 0;
}
