// UDP listener. Failures of set-up and of notifications close the socket for
// the rest of the run and are shown in an "Error" box; a failed receive only
// writes a status line and reception goes on.
#include "syslog/listener.h"

#include <cstdlib>
#include <ctime>

#include "syslog/formatter.h"
#include "syslog/texts.h"

SOCKET g_socket = INVALID_SOCKET;

namespace {

HWND g_view = nullptr;        // where entries go; set by OpenListener
sockaddr_in g_lastPeer = {};  // the sender of the last datagram, as recvfrom wrote it

const WORD kWinSockVersion = 0x0101;
const u_short kSyslogPort = 514;
enum {
    kReceiveBufferSize = 4096,  // at most 4095 bytes are received, then a NUL
    // A burst arriving while the view paints must wait in the kernel; the
    // default buffer holds only a few hundred small datagrams. The system
    // grants what it allows, and any answer is good enough to go on.
    kSocketBufferBytes = 8 * 1024 * 1024,
};

void ShowError(HWND owner, const char* text) {
    MessageBoxA(owner, text, kTextErrorCaption, MB_ICONERROR);
}

// atexit wants a void(void) function; WSACleanup's result is of no use then.
void CleanupWinSock() {
    WSACleanup();
}

}  // namespace

bool StartWinSock() {
    WSADATA data;
    int started = WSAStartup(kWinSockVersion, &data);
    // Registered whatever WSAStartup said, as the run-time's exit list
    // is the only place the socket is ever released.
    if (atexit(CleanupWinSock) != 0 || started != 0) {
        ShowError(nullptr, kTextWinSockFailed);
        return false;
    }
    return true;
}

void OpenListener(HWND hwnd, HWND view) {
    g_view = view;
    g_socket = socket(AF_INET, SOCK_DGRAM, 0);
    if (g_socket == INVALID_SOCKET) {
        ShowError(hwnd, kTextSocketFailed);
        return;
    }
    int bufferBytes = kSocketBufferBytes;
    setsockopt(g_socket, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&bufferBytes),
               sizeof bufferBytes);

    sockaddr_in local = {};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    local.sin_port = htons(kSyslogPort);
    // An unbound socket would receive nothing without a word: say so.
    if (bind(g_socket, reinterpret_cast<const sockaddr*>(&local), sizeof local) == SOCKET_ERROR) {
        ReportSocketError(hwnd, kTextBindFailed);
        return;
    }
    if (WSAAsyncSelect(g_socket, hwnd, WM_SOCKET_NOTIFY, FD_READ) == SOCKET_ERROR)
        ReportSocketError(hwnd, kTextSelectFailed);
}

void CloseListener(HWND hwnd) {
    WSAAsyncSelect(g_socket, hwnd, 0, 0);
    closesocket(g_socket);
    g_socket = INVALID_SOCKET;
}

void ReportSocketError(HWND hwnd, const char* text) {
    // Closed first: no notification can arrive while the box is open.
    CloseListener(hwnd);
    ShowError(hwnd, text);
}

void OnSocketNotify(HWND hwnd, WPARAM wParam, LPARAM lParam) {
    if (g_socket != INVALID_SOCKET && WSAGETSELECTERROR(lParam) != 0) {
        ReportSocketError(hwnd, kTextNotifyFailed);
        return;
    }
    if (wParam == g_socket && WSAGETSELECTEVENT(lParam) == FD_READ) ReceiveDatagram();
}

void ReceiveDatagram() {
    char buffer[kReceiveBufferSize];
    time_t receiveTime = CurrentTime();
    int addressLength = sizeof g_lastPeer;
    // One receive only: WinSock posts FD_READ again while datagrams are queued.
    int received = recvfrom(g_socket, buffer, kReceiveBufferSize - 1, 0,
                            reinterpret_cast<sockaddr*>(&g_lastPeer), &addressLength);
    // The view's answer is not examined: a refused append loses the entry
    // from the view only, and the log file has it.
    if (received > 0) {
        buffer[received] = '\0';
        FormatEntry(g_view, &receiveTime, &g_lastPeer, buffer);
    } else {
        // SOCKET_ERROR (a datagram over 4095 bytes among them) or 0 bytes.
        WriteStatusLine(g_view, kTextReceiveFailed);
    }
}
