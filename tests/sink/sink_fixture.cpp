// The shared sink fixture: the recording window, the scratch directory and
// the log file's bytes once its writer is idle.
#include "tests/sink/sink_fixture.h"

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
    unused = CreateWindowA("FormatterTestSink", "", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(nullptr, view);
    ASSERT_NE(nullptr, unused);
    g_appends.clear();

    char temp[MAX_PATH];
    ASSERT_NE(0u, GetTempPathA(MAX_PATH, temp));
    // A run that was stopped may have left its directory, and Wine gives
    // process ids out again: the next free name is taken.
    static int serial = 0;
    do {
        dir = std::string(temp) + "formatter_test_" + std::to_string(GetCurrentProcessId()) + "_" +
              std::to_string(++serial);
    } while (!CreateDirectoryA(dir.c_str(), nullptr) && GetLastError() == ERROR_ALREADY_EXISTS);
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(dir.c_str()));
    logPath = dir + "\\messages";
    // The log file is "messages" in the current directory, as for the program.
    ASSERT_NE(0u, GetCurrentDirectoryA(MAX_PATH, oldDirectory));
    ASSERT_TRUE(SetCurrentDirectoryA(dir.c_str()));
    ASSERT_TRUE(OpenEntrySink(&sink, "messages", kKeepEveryDay, kQueueBytes, view, WM_APP));
    opened = true;
    ASSERT_TRUE(OpenViewFeed(&feed, view, unused, 0));
}

void SinkFixture::TearDown() {
    if (opened) {
        CloseViewFeed(&feed);
        CloseEntrySink(&sink);
    }
    MSG msg;  // the sink's wake-ups
    while (PeekMessageA(&msg, view, WM_APP, WM_APP, PM_REMOVE)) {
    }
    SetCurrentDirectoryA(oldDirectory);
    DeleteFileA(logPath.c_str());
    RemoveDirectoryA(dir.c_str());
    DestroyWindow(view);
    DestroyWindow(unused);
}

std::string ReadLogFile(const LogFile* log, const std::string& path) {
    for (int i = 0; i < 3000 && !LogFileIdle(log); ++i) Sleep(10);
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "<no file>";
    std::string bytes;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
    CloseHandle(file);
    return bytes;
}
