// The view benchmarks' windows and their recorder of an entry's appends.
#include "bench/bench_window.h"

#include <cstring>
#include <ctime>

#include "colorview/colorview.h"
#include "syslog/entry_text.h"

namespace {

std::string g_recorded;
int g_recordedAppends;

LRESULT CALLBACK RecorderProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg != CVM_APPENDTEXT) return DefWindowProcA(hwnd, msg, wParam, lParam);
    g_recorded += reinterpret_cast<const char*>(lParam);
    g_recordedAppends++;
    return 1;
}

}  // namespace

void Pump() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
}

HWND MakeBenchWindow(HINSTANCE instance, const char* name, WNDPROC proc, DWORD style, int width, int height) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = proc;
    wc.hInstance = instance;
    wc.lpszClassName = name;
    RegisterClassA(&wc);
    return CreateWindowExA(0, name, "bench", style, 0, 0, width, height, nullptr, nullptr, instance, nullptr);
}

std::string RecordedEntry(HINSTANCE instance, const char* datagram, CharsetMode charset, int* appends) {
    const SenderAddress sender = {kSenderIPv4, 40123, {192, 0, 2, 7}, 0};
    // Large records: static, not on the stack.
    static BlockState blocks;
    static EntryWork work;
    static EntryText entry;
    HWND recorder = MakeBenchWindow(instance, "BenchRecorder", RecorderProc, WS_POPUP, 100, 100);
    StartBlockState(&blocks);
    time_t now = time(nullptr);
    for (int i = 0; i < 2; ++i) {
        g_recorded.clear();
        g_recordedAppends = 0;
        BuildEntry(&blocks, &work, &entry, &sender, now, datagram, strlen(datagram), charset);
        for (const char* append = FirstAppend(&entry); append; append = NextAppend(&entry, append))
            SendMessageA(recorder, CVM_APPENDTEXT, 0, reinterpret_cast<LPARAM>(append));
    }
    DestroyWindow(recorder);
    if (appends) *appends = g_recordedAppends;
    return g_recorded;
}
