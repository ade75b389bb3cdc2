// Reception: the sockets and the thread that reads them. The thread waits on
// every socket at once and reads each one until it would block; every
// datagram becomes an entry at once, written to the log file and queued for
// the window thread (see entry_sink.h), so nothing waits for the screen.
// The window thread opens and closes reception and shows its error boxes:
// the reception thread only posts to the owner window, never sends.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <atomic>

#include "syslog/entry_sink.h"

enum {
    kSyslogPort = 514,
    kMaxDatagramBytes = 65535,  // the largest UDP datagram
    kErrorTextSize = 512,
};

// One listening socket, with the protocol and family it is named by in messages.
struct ReceptionSocket {
    SOCKET socket;                   // INVALID_SOCKET once closed or never made
    int family;                      // AF_INET or AF_INET6
    const char* name;                // "UDP/IPv4", "UDP/IPv6"
    unsigned failures;               // receive failures in a row
    char errorText[kErrorTextSize];  // the text of the box posted for this socket
};

enum { kUdp4, kUdp6, kSocketSlots };

struct Reception {
    EntrySink sink;  // block state, log file and the queue to the window thread
    ReceptionSocket sockets[kSocketSlots];
    char* buffer;   // one datagram
    HANDLE thread;  // null until started
    std::atomic<bool> stopping;
    HWND owner;  // shows the error boxes; gets `errorMessage` with wParam the socket slot
    UINT errorMessage;
};

// Starts WinSock and registers its clean-up for the run-time's exit
// processing; shows the failure and returns false when either fails.
bool StartWinSock();

// Opens the sink (log file at `logPath`, the queue, notifying `owner` with
// `entriesMessage`) and the sockets on `port` of every IPv4 and IPv6
// address. Set-up failures are gathered in `failures`, a line each, for one
// box the caller shows; where the system has no IPv6 a status line says so.
// False when the buffers cannot be made: then nothing is received.
bool OpenReception(Reception* reception, const char* logPath, unsigned short port, HWND owner,
                   UINT entriesMessage, UINT errorMessage, char* failures, size_t size);
// Starts the reception thread; false (with nothing received) when it cannot.
bool StartReception(Reception* reception);
// The error text that the thread posted for a socket slot.
const char* ReceptionErrorText(const Reception* reception, WPARAM slot);
// Stops and joins the thread, closes the sockets, then the log file.
void CloseReception(Reception* reception);
