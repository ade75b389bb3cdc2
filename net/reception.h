// Reception: the sockets and the thread that reads them. The thread waits on
// every socket at once (UDP, the TCP listeners and their connections) and
// reads each one until it would block; every datagram or TCP frame becomes
// an entry at once, written to the log file and queued for the window thread
// (see entry_sink.h), so nothing waits for the screen.
// The window thread opens and closes reception and shows its error boxes:
// the reception thread only posts to the owner window, never sends.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <atomic>

#include "sink/entry_sink.h"
#include "net/tcp_connections.h"

enum {
    kSyslogPort = 514,
    kMaxDatagramBytes = 65535,  // the largest UDP datagram
    kErrorTextSize = 512,
};

// One listening socket, with the protocol and family it is named by in messages.
struct ReceptionSocket {
    SOCKET socket;                   // INVALID_SOCKET once closed or never made
    int family;                      // AF_INET or AF_INET6
    int type;                        // SOCK_DGRAM or SOCK_STREAM
    const char* name;                // "UDP/IPv4", "UDP/IPv6", "TCP/IPv4", "TCP/IPv6"
    unsigned failures;               // receive failures in a row
    ULONGLONG restUntil;             // a TCP listener whose accept failed waits until then
    char errorText[kErrorTextSize];  // the text of the box posted for this socket
};

// The UDP sockets' failures are shown in Error boxes; the TCP listeners'
// in status lines, since UDP may still work.
enum { kUdp4, kUdp6, kTcp4, kTcp6, kSocketSlots };

struct Reception {
    EntrySink sink;  // block state, log file and the queue to the window thread
    ReceptionSocket sockets[kSocketSlots];
    TcpConnections tcp;  // the connections accepted on the TCP listeners
    WSAPOLLFD* polled;   // one wait's sockets: kSocketSlots + kMaxConnections, made once
    char* buffer;        // one datagram, or one read of a connection
    HANDLE thread;       // null until started
    std::atomic<bool> stopping;
    HWND owner;  // shows the error boxes; gets `errorMessage` with wParam the socket slot
    UINT errorMessage;
};

// Starts WinSock and registers its clean-up for the run-time's exit
// processing; shows the failure and returns false when either fails.
bool StartWinSock();

// Opens the sink (log file at `logPath` kept `keepDays`, the queue, notifying `owner` with
// `entriesMessage`) and the UDP sockets and TCP listeners on `port` of every
// IPv4 and IPv6 address. UDP set-up failures are gathered in `failures`, a
// line each, for one box the caller shows; TCP's are status lines, and
// where the system has no IPv6 a status line says so.
// False when the buffers cannot be made: then nothing is received.
bool OpenReception(Reception* reception, const char* logPath, int keepDays, unsigned short port, HWND owner,
                   UINT entriesMessage, UINT errorMessage, char* failures, size_t size);
// Starts the reception thread; false (with nothing received) when it cannot.
bool StartReception(Reception* reception);
// The error text that the thread posted for a socket slot.
const char* ReceptionErrorText(const Reception* reception, WPARAM slot);
// Stops and joins the thread, takes the TCP connections still waiting on
// the listeners, closes the sockets after reading each connection to the end
// (its unfinished frame becoming an entry), then the log file.
void CloseReception(Reception* reception);
