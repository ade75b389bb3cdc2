// Reception. Set-up runs on the window thread, so that its failures are
// shown before the window is; the thread then owns the sockets until
// CloseReception joins it. An error on one socket closes that socket only:
// the others go on receiving. The wait is WSAPoll, which has no limit on the
// number of sockets (WSAWaitForMultipleEvents stops at 64), so the UDP
// sockets, the TCP listeners and every TCP connection share it, and it
// wakes the thread once per batch of readable sockets.
#include "net/reception.h"

#include <ws2tcpip.h>

#include <process.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "net/sender.h"
#include "syslog/texts.h"

namespace {

const WORD kWinSockVersion = 0x0202;
enum {
    // A burst arriving while the thread writes must wait in the kernel; the
    // default buffer holds only a few hundred small datagrams. The system
    // grants what it allows, and any answer is good enough to go on.
    kSocketBufferBytes = 8 * 1024 * 1024,
    // The thread looks at its stop flag at least this often.
    kPollMilliseconds = 100,
    // Datagrams read from one socket before the others get their turn, so
    // that a flood on one cannot starve the rest.
    kMaxReadsPerRound = 4096,
    // Receive failures in a row after which a socket counts as broken.
    kMaxFailuresInARow = 64,
    // How long a TCP listener whose accept failed is left out of the wait.
    kListenerRestMs = 1000,
    // The wait while TCP connections are left unread for the view to catch up.
    kViewCatchUpMilliseconds = 10,
    // At shutdown, or when the wait fails, the connections are read to the
    // end for at most this long in all.
    kEndReadingMs = 3000,
};

void ShowError(HWND owner, const char* text) {
    MessageBoxA(owner, text, kTextErrorCaption, MB_ICONERROR);
}

// atexit wants a void(void) function; WSACleanup's result is of no use then.
void CleanupWinSock() {
    WSACleanup();
}

void AddLine(char* out, size_t size, const char* text) {
    size_t used = strlen(out);
    snprintf(out + used, size - used, "%s%s", used ? "\r\n" : "", text);
}

// "UDP/IPv6: text" for a failure of a socket other than the one the program
// always had (UDP on IPv4), whose messages keep their own words.
void NamedFailure(const ReceptionSocket* s, const char* text, char* out, size_t size) {
    if (s->family == AF_INET && s->type == SOCK_DGRAM)
        snprintf(out, size, "%s", text);
    else
        snprintf(out, size, "%s: %s", s->name, text);
}

// A set-up failure: a line of the UDP sockets' box, a status line of TCP's.
void SetupFailure(Reception* r, const ReceptionSocket* s, const char* text, char* failures, size_t size) {
    if (s->type == SOCK_STREAM)
        WriteStatusLine(&r->sink, text);
    else
        AddLine(failures, size, text);
}

void CloseSocket(ReceptionSocket* s) {
    if (s->socket != INVALID_SOCKET) closesocket(s->socket);
    s->socket = INVALID_SOCKET;
}

// Creates, binds and readies one socket; a failure is added to `failures`
// and leaves the socket closed.
void OpenSocket(Reception* r, ReceptionSocket* s, unsigned short port, char* failures, size_t size) {
    char text[kErrorTextSize];
    bool stream = s->type == SOCK_STREAM;
    s->socket = socket(s->family, s->type, stream ? IPPROTO_TCP : IPPROTO_UDP);
    if (s->socket == INVALID_SOCKET) {
        // A system without IPv6 is no error of ours: say so once (for UDP), quietly.
        if (s->family == AF_INET6 && WSAGetLastError() == WSAEAFNOSUPPORT) {
            if (!stream) WriteStatusLine(&r->sink, kTextNoIPv6);
            return;
        }
        NamedFailure(s, kTextSocketFailed, text, sizeof text);
        SetupFailure(r, s, text, failures, size);
        return;
    }
    // TCP has flow control: the sender waits, and the system sizes the buffer.
    if (!stream) {
        int bufferBytes = kSocketBufferBytes;
        setsockopt(s->socket, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&bufferBytes),
                   sizeof bufferBytes);
    }

    sockaddr_storage local = {};
    int localLength;
    if (s->family == AF_INET6) {
        // IPv4 has a socket of its own; without this the IPv6 one could take its port.
        DWORD only = 1;
        setsockopt(s->socket, IPPROTO_IPV6, IPV6_V6ONLY, reinterpret_cast<const char*>(&only), sizeof only);
        sockaddr_in6* a = reinterpret_cast<sockaddr_in6*>(&local);
        a->sin6_family = AF_INET6;
        a->sin6_addr = in6addr_any;
        a->sin6_port = htons(port);
        localLength = sizeof *a;
    } else {
        sockaddr_in* a = reinterpret_cast<sockaddr_in*>(&local);
        a->sin_family = AF_INET;
        a->sin_addr.s_addr = htonl(INADDR_ANY);
        a->sin_port = htons(port);
        localLength = sizeof *a;
    }
    // An unbound socket would receive nothing without a word: say so. (A
    // port taken by another listener may show only at listen.)
    if (bind(s->socket, reinterpret_cast<const sockaddr*>(&local), localLength) == SOCKET_ERROR ||
        (stream && listen(s->socket, SOMAXCONN) == SOCKET_ERROR)) {
        snprintf(text, sizeof text, kTextBindFailedFormat, static_cast<unsigned>(port), s->name);
        SetupFailure(r, s, text, failures, size);
        CloseSocket(s);
        return;
    }
    // Accepted connections inherit this; AcceptConnections sets it again, since
    // a connection left blocking would stall every other socket.
    u_long nonBlocking = 1;
    if (ioctlsocket(s->socket, FIONBIO, &nonBlocking) == SOCKET_ERROR) {
        NamedFailure(s, kTextSelectFailed, text, sizeof text);
        SetupFailure(r, s, text, failures, size);
        CloseSocket(s);
    }
}

// Reception thread: closes a broken socket and says why, in a box the
// owner shows for UDP, in a status line for a TCP listener.
void ReportSocketError(Reception* r, int slot) {
    ReceptionSocket* s = &r->sockets[slot];
    CloseSocket(s);
    NamedFailure(s, kTextNotifyFailed, s->errorText, sizeof s->errorText);
    if (s->type == SOCK_STREAM)
        WriteStatusLine(&r->sink, s->errorText);
    else
        PostMessageA(r->owner, r->errorMessage, static_cast<WPARAM>(slot), 0);
}

// Reads one socket until it would block (or its share of the round is
// used). A failed receive writes a status line and ends the socket's round,
// so that a failing socket cannot keep the thread spinning.
void ReadDatagrams(Reception* r, int slot) {
    ReceptionSocket* s = &r->sockets[slot];
    for (int reads = 0; reads < kMaxReadsPerRound && !r->stopping.load(std::memory_order_relaxed); ++reads) {
        time_t arrival = CurrentTime();
        sockaddr_storage from;
        int fromLength = sizeof from;
        int received = recvfrom(s->socket, r->buffer, kMaxDatagramBytes, 0,
                                reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (received == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK) return;
        if (received <= 0) {
            // A zero-length datagram says nothing; a failure may be one datagram's.
            WriteStatusLine(&r->sink, kTextReceiveFailed);
            if (received == SOCKET_ERROR) {
                if (++s->failures >= kMaxFailuresInARow) ReportSocketError(r, slot);
                return;
            }
            continue;
        }
        s->failures = 0;
        SenderAddress sender = SenderOf(&from);
        FormatEntry(&r->sink, arrival, &sender, r->buffer, static_cast<size_t>(received));
    }
}

// A TCP listener has connections waiting: takes them, or rests the
// listener when accept fails.
void AcceptOn(Reception* r, int slot) {
    if (!AcceptConnections(&r->tcp, r->sockets[slot].socket))
        r->sockets[slot].restUntil = GetTickCount64() + kListenerRestMs;
}

// What the wait reports for a socket that ended or failed.
const short kEnded = POLLERR | POLLHUP | POLLNVAL;

void Watch(WSAPOLLFD* polled, SOCKET socket) {
    polled->fd = socket;
    polled->events = POLLRDNORM;
    polled->revents = 0;
}

// The connections the wait found readable, each in its turn, beginning
// with the one whose last turn is oldest: while the view's queue holds TCP
// back, a round may read only one or two connections, and the one left
// waiting longest, a quiet one among floods, goes first. A connection that
// ended is read all the same: its last bytes, then the end or error that
// recv reports, close it.
void ReadConnections(Reception* r, const WSAPOLLFD* polled, int connections) {
    const uint64_t round = ++r->tcp.rounds;
    int first = -1;
    for (int i = 0; i < connections; ++i) {
        if ((polled[i].revents & (POLLRDNORM | kEnded)) &&
            (first < 0 || r->tcp.table[i].lastTurn < r->tcp.table[first].lastTurn))
            first = i;
    }
    for (int k = 0; first >= 0 && k < connections && !r->stopping.load(std::memory_order_relaxed); ++k) {
        int i = (first + k) % connections;
        if (!(polled[i].revents & (POLLRDNORM | kEnded))) continue;
        TcpConnection* c = &r->tcp.table[i];
        if (ReadConnection(c, &r->sink, r->buffer, kMaxDatagramBytes, true, kNoTimeLimit) == kReadPaused) return;
        c->lastTurn = round;
    }
}

unsigned __stdcall ReceptionThread(void* parameter) {
    Reception* r = static_cast<Reception*>(parameter);
    WSAPOLLFD* polled = r->polled;
    int slots[kSocketSlots];
    while (!r->stopping.load()) {
        // The wait's list: the listening sockets (but resting ones), then
        // the connections; those accepted during a round join the next.
        ULONGLONG now = GetTickCount64();
        int listening = 0;
        for (int slot = 0; slot < kSocketSlots; ++slot) {
            if (r->sockets[slot].socket == INVALID_SOCKET || r->sockets[slot].restUntil > now) continue;
            Watch(&polled[listening], r->sockets[slot].socket);
            slots[listening++] = slot;
        }
        // A TCP sender can wait, a UDP sender cannot: while the view's queue
        // is over half full, the connections are left unread, so that their
        // senders slow down to the view's pace rather than the view missing
        // their entries (the queue's other half is for UDP bursts).
        bool viewBehind = QueueOverHalf(&r->sink.queue.entries);
        int connections = viewBehind ? 0 : r->tcp.count;
        for (int i = 0; i < connections; ++i) Watch(&polled[listening + i], r->tcp.table[i].socket);
        int count = listening + connections;
        int timeout = viewBehind ? kViewCatchUpMilliseconds : kPollMilliseconds;
        if (count == 0) {
            Sleep(static_cast<DWORD>(timeout));
            ReportViewMissed(&r->sink);
            continue;
        }
        int ready = WSAPoll(polled, static_cast<ULONG>(count), timeout);
        if (ready == SOCKET_ERROR) {
            // The wait itself failed: no socket can be trusted any more.
            for (int i = 0; i < listening; ++i) ReportSocketError(r, slots[i]);
            EndConnections(&r->tcp, &r->sink, r->buffer, kMaxDatagramBytes, kEndReadingMs);
            continue;
        }
        for (int i = 0; i < listening && ready > 0; ++i) {
            int slot = slots[i];
            if ((polled[i].revents & POLLRDNORM) && r->sockets[slot].type == SOCK_STREAM)
                AcceptOn(r, slot);
            else if (polled[i].revents & POLLRDNORM)
                ReadDatagrams(r, slot);
            else if (polled[i].revents & kEnded)
                ReportSocketError(r, slot);
        }
        ReadConnections(r, polled + listening, connections);
        CompactConnections(&r->tcp);
        ReportRefusals(&r->tcp, &r->sink);
        // Once the view has room again, it learns what it missed even when
        // nothing more arrives.
        ReportViewMissed(&r->sink);
    }
    return 0;
}

}  // namespace

bool StartWinSock() {
    WSADATA data;
    int started = WSAStartup(kWinSockVersion, &data);
    // Registered whatever WSAStartup said: the run-time's exit list is where
    // WinSock is released.
    if (atexit(CleanupWinSock) != 0 || started != 0) {
        ShowError(nullptr, kTextWinSockFailed);
        return false;
    }
    return true;
}

bool OpenReception(Reception* r, const char* logPath, int keepDays, unsigned short port, HWND owner,
                   UINT entriesMessage, UINT errorMessage, char* failures, size_t size) {
    r->thread = nullptr;
    r->stopping.store(false);
    r->owner = owner;
    r->errorMessage = errorMessage;
    const struct {
        int family, type;
        const char* name;
    } kinds[kSocketSlots] = {{AF_INET, SOCK_DGRAM, "UDP/IPv4"},
                             {AF_INET6, SOCK_DGRAM, "UDP/IPv6"},
                             {AF_INET, SOCK_STREAM, "TCP/IPv4"},
                             {AF_INET6, SOCK_STREAM, "TCP/IPv6"}};
    for (int slot = 0; slot < kSocketSlots; ++slot) {
        ReceptionSocket* s = &r->sockets[slot];
        s->socket = INVALID_SOCKET;
        s->family = kinds[slot].family;
        s->type = kinds[slot].type;
        s->name = kinds[slot].name;
        s->failures = 0;
        s->restUntil = 0;
        s->errorText[0] = '\0';
    }
    if (size > 0) failures[0] = '\0';
    r->buffer = static_cast<char*>(malloc(kMaxDatagramBytes));
    r->polled = static_cast<WSAPOLLFD*>(malloc((kSocketSlots + kMaxConnections) * sizeof(WSAPOLLFD)));
    bool tcp = OpenTcpConnections(&r->tcp);
    if (!r->buffer || !r->polled || !tcp ||
        !OpenEntrySink(&r->sink, logPath, keepDays, kDefaultQueueBytes, owner, entriesMessage)) {
        CloseTcpConnections(&r->tcp);
        free(r->polled);
        free(r->buffer);
        r->polled = nullptr;
        r->buffer = nullptr;
        return false;
    }
    WriteStatusLine(&r->sink, kTextSyslogStart);
    for (int slot = 0; slot < kSocketSlots; ++slot) OpenSocket(r, &r->sockets[slot], port, failures, size);
    return true;
}

bool StartReception(Reception* r) {
    uintptr_t thread = _beginthreadex(nullptr, 0, ReceptionThread, r, 0, nullptr);
    if (thread == 0) return false;
    r->thread = reinterpret_cast<HANDLE>(thread);
    // Reception goes before painting: a datagram left in the kernel's buffer
    // during a burst may be lost, an entry waiting in the queue is not.
    SetThreadPriority(r->thread, THREAD_PRIORITY_ABOVE_NORMAL);
    return true;
}

const char* ReceptionErrorText(const Reception* r, WPARAM slot) {
    return slot < kSocketSlots ? r->sockets[slot].errorText : "";
}

void CloseReception(Reception* r) {
    if (r->thread) {
        r->stopping.store(true);
        WaitForSingleObject(r->thread, INFINITE);
        CloseHandle(r->thread);
        r->thread = nullptr;
    }
    for (int slot = 0; slot < kSocketSlots; ++slot) {
        // A connection the system completed after the thread's last round
        // has had its bytes acknowledged too: taken now, it is read to the
        // end with the others rather than reset with its listener.
        ReceptionSocket* s = &r->sockets[slot];
        if (r->buffer && s->type == SOCK_STREAM && s->socket != INVALID_SOCKET)
            AcceptConnections(&r->tcp, s->socket);
        CloseSocket(s);
    }
    if (r->buffer) {
        // What the connections hold is read to the end, their unfinished
        // frames are entries too, and then everything the thread received is
        // in the log file.
        EndConnections(&r->tcp, &r->sink, r->buffer, kMaxDatagramBytes, kEndReadingMs);
        CloseTcpConnections(&r->tcp);
        CloseEntrySink(&r->sink);
        free(r->polled);
        free(r->buffer);
        r->polled = nullptr;
        r->buffer = nullptr;
    }
}
