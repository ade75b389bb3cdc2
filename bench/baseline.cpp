// Reference receivers for bench/burst, without a view. By default a hidden
// window takes one recvfrom per FD_READ notification from a UDP socket on
// 0.0.0.0:514, as the program once did; with --loop a thread of its own runs
// a bare blocking recvfrom loop instead, the fastest a receiver can be. Both
// ask for the same 8 MiB receive buffer and append each datagram with CR LF
// to "messages" in one WriteFile. The window class is the program's, so the
// test probe finds it and closes it with WM_CLOSE.
#include <winsock2.h>
#include <windows.h>

#include <cstring>

namespace {

const UINT kSocketNotify = WM_USER + 2;
const u_short kSyslogPort = 514;
enum { kReceiveBufferSize = 65536, kSocketBufferBytes = 8 * 1024 * 1024 };

SOCKET g_socket = INVALID_SOCKET;
HANDLE g_log = INVALID_HANDLE_VALUE;

// Room for the CR LF behind the largest datagram.
char g_buffer[kReceiveBufferSize + 2];

// Returns false when the socket has failed (or was closed).
bool ReceiveOne() {
    sockaddr_in peer;
    int peerLength = sizeof peer;
    int received = recvfrom(g_socket, g_buffer, kReceiveBufferSize - 1, 0, reinterpret_cast<sockaddr*>(&peer),
                            &peerLength);
    if (received < 0) return false;
    if (received == 0) return true;  // the program writes a status line; a burst has none
    g_buffer[received] = '\r';
    g_buffer[received + 1] = '\n';
    DWORD written = 0;
    WriteFile(g_log, g_buffer, static_cast<DWORD>(received + 2), &written, nullptr);
    return true;
}

DWORD WINAPI ReceiveLoop(void*) {
    while (ReceiveOne()) {
    }
    return 0;
}

bool OpenSocket(HWND hwnd, bool loop) {
    g_socket = socket(AF_INET, SOCK_DGRAM, 0);
    if (g_socket == INVALID_SOCKET) return false;
    int bufferBytes = kSocketBufferBytes;
    setsockopt(g_socket, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&bufferBytes), sizeof bufferBytes);
    sockaddr_in local = {};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    local.sin_port = htons(kSyslogPort);
    if (bind(g_socket, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) return false;
    if (loop) return CreateThread(nullptr, 0, ReceiveLoop, nullptr, 0, nullptr) != nullptr;
    return WSAAsyncSelect(g_socket, hwnd, kSocketNotify, FD_READ) == 0;
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
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return 1;
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
    if (!hwnd || g_log == INVALID_HANDLE_VALUE) return 1;
    SetFilePointer(g_log, 0, nullptr, FILE_END);
    if (!OpenSocket(hwnd, strstr(commandLine, "--loop") != nullptr)) return 1;
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
