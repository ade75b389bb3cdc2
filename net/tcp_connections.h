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
};

struct TcpConnections {
    TcpConnection* table;  // kMaxConnections records, made once
    int count;             // table[0, count) are open (or closed in this round)
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

// Reads a connection until it would block or its share of the round is
// used, each frame an entry of `sink` (and a cut frame a status line right
// after it). A connection that ends, closed by its peer or failed, is
// closed, and its unfinished frame becomes an entry; its socket is then
// INVALID_SOCKET until CompactConnections. `buffer` holds one read.
void ReadConnection(TcpConnection* connection, EntrySink* sink, char* buffer, size_t size);

// Drops the connections closed in this round from the table, keeping the
// order of the others.
void CompactConnections(TcpConnections* connections);

// Closes every connection, after a last read of what has arrived (as
// ReadConnection); the unfinished frame of each becomes an entry. Then
// reports the refusals not yet reported. At shutdown, or when the wait
// itself has failed.
void EndConnections(TcpConnections* connections, EntrySink* sink, char* buffer, size_t size);

// Writes one status line for a burst of refusals once none has come for a
// second, or once the burst is a minute old, so that refusals that never
// stop are still reported.
void ReportRefusals(TcpConnections* connections, EntrySink* sink);
