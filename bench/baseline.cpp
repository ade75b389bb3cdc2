// Reference receiver for bench/burst: the program's reception without its view.
// A hidden window takes one recvfrom per FD_READ notification from a UDP
// socket on 0.0.0.0:514 (the same 8 MiB receive buffer request) and appends
// each datagram with CR LF to "messages" in one WriteFile. Its window class is
// the program's, so the test probe finds it and closes it with WM_CLOSE.
#include <winsock2.h>
#include <windows.h>

#include <cstring>

namespace {

const UINT kSocketNotify = WM_USER + 2;
const u_short kSyslogPort = 514;
enum { kReceiveBufferSize = 4096, kSocketBufferBytes = 8 * 1024 * 1024 };

SOCKET g_socket = INVALID_SOCKET;
HANDLE g_log = INVALID_HANDLE_VALUE;

void ReceiveOne() {
    // Room for the CR LF behind the largest datagram the program accepts.
    char buffer[kReceiveBufferSize + 2];
    sockaddr_in peer;
    int peerLength = sizeof peer;
    int received = recvfrom(g_socket, buffer, kReceiveBufferSize - 1, 0, reinterpret_cast<sockaddr*>(&peer),
                            &peerLength);
    if (received <= 0) return;  // the program writes a status line; a burst has none
    buffer[received] = '\r';
    buffer[received + 1] = '\n';
    DWORD written = 0;
    WriteFile(g_log, buffer, static_cast<DWORD>(received + 2), &written, nullptr);
}

bool OpenSocket(HWND hwnd) {
    g_socket = socket(AF_INET, SOCK_DGRAM, 0);
    if (g_socket == INVALID_SOCKET) return false;
    int bufferBytes = kSocketBufferBytes;
    setsockopt(g_socket, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&bufferBytes), sizeof bufferBytes);
    sockaddr_in local = {};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    local.sin_port = htons(kSyslogPort);
    return bind(g_socket, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0 &&
           WSAAsyncSelect(g_socket, hwnd, kSocketNotify, FD_READ) == 0;
}

LRESULT CALLBACK BaselineProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case kSocketNotify:
            if (WSAGETSELECTEVENT(lParam) == FD_READ && WSAGETSELECTERROR(lParam) == 0) ReceiveOne();
            return 0;
        case WM_CLOSE:
            DestroyWindow(hwnd);
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcA(hwnd, msg, wParam, lParam);
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    WSADATA data;
    if (WSAStartup(MAKEWORD(1, 1), &data) != 0) return 1;
    WNDCLASSA wc = {};
    wc.lpfnWndProc = BaselineProc;
    wc.hInstance = instance;
    wc.lpszClassName = "ORNIVEL";
    RegisterClassA(&wc);
    // Never shown: the baseline has nothing to draw.
    HWND hwnd = CreateWindowExA(0, wc.lpszClassName, "baseline", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr,
                                nullptr, instance, nullptr);
    g_log = CreateFileA("messages", GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                        nullptr);
    if (!hwnd || g_log == INVALID_HANDLE_VALUE || !OpenSocket(hwnd)) return 1;
    SetFilePointer(g_log, 0, nullptr, FILE_END);
    // --show puts the (empty) window on the screen, for a comparison with
    // the program's window in the same state.
    if (strstr(commandLine, "--show")) ShowWindow(hwnd, SW_SHOWNORMAL);

    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
    CloseHandle(g_log);
    closesocket(g_socket);
    WSACleanup();
    return 0;
}
