// The shared sink fixture: the recording window, the scratch directory and
// the log file's bytes once its writer is idle.
#include "tests/sink/sink_fixture.h"

#include "app/view_feed.h"
#include "colorview/colorview.h"

std::vector<std::string> g_appends;

namespace {

LRESULT CALLBACK SinkProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == CVM_APPENDTEXT) {
        g_appends.push_back(reinterpret_cast<const char*>(lParam));
        return 1;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

}  // namespace

void SinkFixture::SetUp() {
    static ATOM atom = 0;
    if (atom == 0) {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = SinkProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "FormatterTestSink";
        atom = RegisterClassA(&wc);
    }
    ASSERT_NE(0, atom);
    view = CreateWindowA("FormatterTestSink", "", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                         GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(nullptr, view);
    g_appends.clear();

    char temp[MAX_PATH];
    ASSERT_NE(0u, GetTempPathA(MAX_PATH, temp));
    static int serial = 0;
    dir = std::string(temp) + "formatter_test_" + std::to_string(GetCurrentProcessId()) + "_" +
          std::to_string(++serial);
    ASSERT_TRUE(CreateDirectoryA(dir.c_str(), nullptr));
    logPath = dir + "\\messages";
    // The log file is "messages" in the current directory, as for the program.
    ASSERT_NE(0u, GetCurrentDirectoryA(MAX_PATH, oldDirectory));
    ASSERT_TRUE(SetCurrentDirectoryA(dir.c_str()));
    ASSERT_TRUE(OpenEntrySink(&sink, "messages", kQueueBytes, view, WM_APP));
}

void SinkFixture::TearDown() {
    CloseEntrySink(&sink);
    MSG msg;  // the sink's wake-ups
    while (PeekMessageA(&msg, view, WM_APP, WM_APP, PM_REMOVE)) {
    }
    SetCurrentDirectoryA(oldDirectory);
    DeleteFileA(logPath.c_str());
    RemoveDirectoryA(dir.c_str());
    DestroyWindow(view);
}

void SinkFixture::Feed(HWND to) {
    while (FeedView(&sink.queue, to, 1000, &fed)) {
    }
}

std::string SinkFixture::ReadLog() {
    for (int i = 0; i < 3000 && !LogFileIdle(&sink.log); ++i) Sleep(10);
    HANDLE file = CreateFileA(logPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "<no file>";
    std::string bytes;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
    CloseHandle(file);
    return bytes;
}
