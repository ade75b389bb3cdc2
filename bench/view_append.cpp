// Appends entries the way the formatter sends them (a dozen pieces each, with
// colour commands) to a visible view that follows the end, and prints the
// time per entry and the bytes the layout walked per entry.
//   view_append [entries]
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "colorview/append_layout.h"
#include "colorview/colorview.h"

static LRESULT CALLBACK HostProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

static void Pump() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
}

int main(int argc, char** argv) {
    int entries = argc > 1 ? atoi(argv[1]) : 300;
    HINSTANCE instance = GetModuleHandleA(nullptr);
    RegisterViewClass(instance);
    WNDCLASSA wc = {};
    wc.lpfnWndProc = HostProc;
    wc.hInstance = instance;
    wc.lpszClassName = "ViewBenchHost";
    RegisterClassA(&wc);
    HWND host = CreateWindowExA(0, "ViewBenchHost", "bench", WS_POPUP | WS_VISIBLE, 0, 0, 800, 500, nullptr,
                                nullptr, instance, nullptr);
    HWND view = CreateWindowExA(0, COLORVIEW_CLASS, "", WS_CHILD | WS_VISIBLE | WS_VSCROLL, 0, 0, 800, 500, host,
                                nullptr, instance, nullptr);
    Pump();
    const char* pieces[] = {"\x03" "1,15", "192.168.0.10:514", "\x03", "\r\n", "\x03" "2",
                            "Dec  8 18:00:54 (0)", "\x03", " ", "\x03" "12", "router7", "\x03",
                            " local7.notice ", "\x03" "4", "%LINK-3-UPDOWN: Interface Gi0/1, changed state to up",
                            "\x03", "\r\n"};
    long long walkedBefore = g_layoutBytesWalked;
    LARGE_INTEGER freq, t0, t1;
    QueryPerformanceFrequency(&freq);
    QueryPerformanceCounter(&t0);
    int pieceCount = 0;
    for (int e = 0; e < entries; e++) {
        // A block header only for the first entry, as for one sender.
        for (size_t i = e == 0 ? 0 : 4; i < sizeof pieces / sizeof pieces[0]; i++, pieceCount++)
            SendMessageA(view, CVM_APPENDTEXT, 0, reinterpret_cast<LPARAM>(pieces[i]));
        Pump();
    }
    QueryPerformanceCounter(&t1);
    double ms = 1000.0 * (t1.QuadPart - t0.QuadPart) / freq.QuadPart;
    printf("entries %d, pieces %d, %.2f ms per entry, %.2f ms per piece, %.0f layout bytes per entry\n", entries,
           pieceCount, ms / entries, ms / pieceCount,
           static_cast<double>(g_layoutBytesWalked - walkedBefore) / entries);
    DestroyWindow(host);
    return 0;
}
