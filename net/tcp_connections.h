// Syslog over TCP: the connections accepted on the listening sockets, each
// with the frame reader that cuts its bytes into entries. They belong to the
// reception record and are served by its one thread in its one wait beside
// the UDP sockets: no thread per connection, and a silent connection costs
// one slot in that wait and nothing else.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <cstdint>

#include "sink/entry_sink.h"
#include "net/framing.h"

enum {
    // Connections open at once. A relay in front needs one, a room of devices
    // sending directly a few dozen. Each open connection is one more slot
    // that every round of the wait looks at, and holds a frame reader that
    // costs memory as far as its longest frame split across two reads (up
    // to 64 KiB), so several hundred is as far as a desktop program goes.
    kMaxConnections = 512,
};

struct TcpConnection {
    SOCKET socket;         // INVALID_SOCKET once closed, until the table is compacted
    SenderAddress sender;  // the peer: the sender of every entry of this connection
    FrameReader* reader;   // made when the connection is accepted, freed when it closes
    uint64_t lastTurn;     // the round in which it was last read (0: not yet)
};

struct TcpConnections {
    TcpConnection* table;  // kMaxConnections records, made once
    int count;             // table[0, count) are open (or closed in this round)
    uint64_t rounds;       // rounds that have read connections, for their turns
    // Connections closed at once because the table was full (or accept
    // failed) in the current burst, reported in one status line when the
    // burst is over.
    uint64_t refused;
    ULONGLONG burstStart;   // GetTickCount64 of the burst's first refusal
    ULONGLONG lastRefusal;  // and of its latest
};

// Makes the table; false when memory is short.
bool OpenTcpConnections(TcpConnections* connections);
// Frees the table; every connection must be closed.
void CloseTcpConnections(TcpConnections* connections);

// Accepts every pending connection of `listener` (non-blocking). Beyond the
// limit, a connection is accepted and reset at once, and counted. False when
// accept fails for another reason than an empty queue: the caller then
// leaves the listener alone for a while, so that a lack of resources
// cannot keep the thread spinning.
bool AcceptConnections(TcpConnections* connections, SOCKET listener);

enum ReadResult {
    kReadToTheEnd,  // a read would block: everything that has arrived is read
    kReadEnded,     // the connection ended, and is closed
    kReadMore,      // its share of the round, or the time, is used: more may wait
    kReadPaused,    // the view's queue was over half full before its first read
};
enum : ULONGLONG { kNoTimeLimit = ~0ULL };

// Reads a connection until it would block or its share of the round is
// used, each frame an entry of `sink` (and a cut frame a status line right
// after it). When `paced`, it stops before any read that finds the view's
// queue over half full, so that TCP senders wait for the view rather than
// the view missing their entries; no read starts at or after `until`
// (GetTickCount64). A connection that ends, closed by its peer or failed,
// is closed, and its unfinished frame becomes an entry; its socket is then
// INVALID_SOCKET until CompactConnections. `buffer` holds one read.
ReadResult ReadConnection(TcpConnection* connection, EntrySink* sink, char* buffer, size_t size, bool paced,
                          ULONGLONG until);

// Drops the connections closed in this round from the table, keeping the
// order of the others.
void CompactConnections(TcpConnections* connections);

// Reads every connection until it would block, round by round, for at most
// `limitMs` in all, and closes it; the unfinished frame of each becomes an
// entry. The data a sender was told has arrived is then in the log file,
// however much the system buffered while the view held TCP back. Those the
// time was too short for are closed all the same, and one status line gives
// how many and the bytes they held unread. Then reports the refusals not yet
// reported. At shutdown, or when the wait itself has failed.
void EndConnections(TcpConnections* connections, EntrySink* sink, char* buffer, size_t size, DWORD limitMs);

// Writes one status line for a burst of refusals once none has come for a
// second, or once the burst is a minute old, so that refusals that never
// stop are still reported.
void ReportRefusals(TcpConnections* connections, EntrySink* sink);
