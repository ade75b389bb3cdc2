// Syslog over TCP, connection by connection: accepting within the limit,
// reading each connection's pieces into frames and entries, and closing.
// A reader's memory comes from VirtualAlloc, page by page on first touch,
// so an idle connection or one of short frames costs a page or two of its
// 64 KiB, and a closed one gives all of it back.
#include "net/tcp_connections.h"

#include <cstdio>
#include <cstdlib>

#include "net/sender.h"
#include "syslog/texts.h"

namespace {

enum {
    // Reads from one connection before the others get their turn (a read
    // takes up to a buffer of 64 KiB, several hundred typical frames).
    kMaxReadsPerRound = 16,
    // Once the view's queue is three eighths full, a paced read takes at
    // most this much: one read cannot take the queue far past half, and the
    // connections' turns come round quickly. The view sets the pace then,
    // so the smaller reads cost no speed.
    kNearHalfReadBytes = 8192,
    // A burst of refusals is over once none has come for this long...
    kRefusalQuietMs = 1000,
    // ...and is reported at the latest once it has lasted this long.
    kRefusalBurstMs = 60000,
};

FrameReader* NewFrameReader() {
    void* memory = VirtualAlloc(nullptr, sizeof(FrameReader), MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (!memory) return nullptr;
    FrameReader* reader = static_cast<FrameReader*>(memory);
    StartFrameReader(reader, kMaxFrame);
    return reader;
}

void NoteRefusal(TcpConnections* t) {
    ULONGLONG now = GetTickCount64();
    if (t->refused++ == 0) t->burstStart = now;
    t->lastRefusal = now;
}

// A reset rather than an orderly close: the peer learns at once, and no
// refused connection lingers on this side.
void Refuse(TcpConnections* t, SOCKET s) {
    linger abort = {1, 0};
    setsockopt(s, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort), sizeof abort);
    closesocket(s);
    NoteRefusal(t);
}

// One frame, one entry, as one datagram. A cut frame's status line follows
// its entry with nothing between them: the sink's lock (re-entrant) is held
// across both, and only then, since FormatEntry takes it for every frame.
void WriteFrame(EntrySink* sink, time_t arrival, const SenderAddress* sender, const Frame* frame) {
    if (frame->cut == 0) {
        FormatEntry(sink, arrival, sender, frame->data, frame->length);
        return;
    }
    char text[160];
    snprintf(text, sizeof text, kTextFrameCutFormat, static_cast<unsigned long long>(frame->cut),
             static_cast<unsigned>(kMaxFrame));
    EnterCriticalSection(&sink->lock);
    FormatEntry(sink, arrival, sender, frame->data, frame->length);
    WriteStatusLine(sink, text);
    LeaveCriticalSection(&sink->lock);
}

// The peer has gone or the connection failed: what came of an unfinished
// frame is an entry all the same.
void EndConnection(TcpConnection* c, EntrySink* sink) {
    Frame frame;
    if (TakeLastFrame(c->reader, &frame)) WriteFrame(sink, CurrentTime(), &c->sender, &frame);
    closesocket(c->socket);
    c->socket = INVALID_SOCKET;
    VirtualFree(c->reader, 0, MEM_RELEASE);
    c->reader = nullptr;
}

void WriteRefusals(TcpConnections* t, EntrySink* sink) {
    char text[160];
    snprintf(text, sizeof text, kTextConnectionsRefusedFormat, static_cast<unsigned>(kMaxConnections),
             static_cast<unsigned long long>(t->refused));
    WriteStatusLine(sink, text);
    t->refused = 0;
}

}  // namespace

bool OpenTcpConnections(TcpConnections* t) {
    t->table = static_cast<TcpConnection*>(malloc(kMaxConnections * sizeof(TcpConnection)));
    t->count = 0;
    t->rounds = 0;
    t->refused = 0;
    t->burstStart = t->lastRefusal = 0;
    return t->table != nullptr;
}

void CloseTcpConnections(TcpConnections* t) {
    free(t->table);
    t->table = nullptr;
    t->count = 0;
}

bool AcceptConnections(TcpConnections* t, SOCKET listener) {
    // At most one table's worth per round, so that a storm of connections
    // cannot hold the thread.
    for (int accepted = 0; accepted < kMaxConnections; ++accepted) {
        sockaddr_storage from;
        int fromLength = sizeof from;
        SOCKET s = accept(listener, reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (s == INVALID_SOCKET) {
            int error = WSAGetLastError();
            if (error == WSAEWOULDBLOCK) return true;
            if (error == WSAECONNRESET) continue;  // gone before it was taken: nothing lost
            NoteRefusal(t);
            return false;
        }
        FrameReader* reader = t->count < kMaxConnections ? NewFrameReader() : nullptr;
        u_long nonBlocking = 1;
        if (!reader || ioctlsocket(s, FIONBIO, &nonBlocking) == SOCKET_ERROR) {
            if (reader) VirtualFree(reader, 0, MEM_RELEASE);
            Refuse(t, s);
            continue;
        }
        // A relay may stay quiet for hours; keepalive notices a peer that vanished.
        DWORD on = 1;
        setsockopt(s, SOL_SOCKET, SO_KEEPALIVE, reinterpret_cast<const char*>(&on), sizeof on);
        TcpConnection* c = &t->table[t->count++];
        c->socket = s;
        c->sender = SenderOf(&from);
        c->reader = reader;
        c->lastTurn = 0;
    }
    return true;
}

ReadResult ReadConnection(TcpConnection* c, EntrySink* sink, char* buffer, size_t size, bool paced,
                          ULONGLONG until) {
    for (int reads = 0; reads < kMaxReadsPerRound; ++reads) {
        // Before every read: one read of small frames can fill megabytes of
        // the queue, and many connections may be waiting.
        if (paced && QueueOverHalf(&sink->queue.entries)) return reads == 0 ? kReadPaused : kReadMore;
        if (until != kNoTimeLimit && GetTickCount64() >= until) return kReadMore;
        const EntryQueue* queue = &sink->queue.entries;
        size_t take = paced && QueuedBytes(queue) > queue->capacity / 8 * 3 ? size_t{kNearHalfReadBytes} : size;
        time_t arrival = CurrentTime();
        int received = recv(c->socket, buffer, static_cast<int>(take < size ? take : size), 0);
        if (received == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK) return kReadToTheEnd;
        if (received <= 0) {
            // The peer closed (0) or the connection failed: this one only ends.
            EndConnection(c, sink);
            return kReadEnded;
        }
        const char* next = buffer;
        Frame frame;
        while (TakeFrame(c->reader, &next, buffer + received, &frame))
            WriteFrame(sink, arrival, &c->sender, &frame);
    }
    return kReadMore;
}

void CompactConnections(TcpConnections* t) {
    int kept = 0;
    for (int i = 0; i < t->count; ++i)
        if (t->table[i].socket != INVALID_SOCKET) t->table[kept++] = t->table[i];
    t->count = kept;
}

void EndConnections(TcpConnections* t, EntrySink* sink, char* buffer, size_t size, DWORD limitMs) {
    const ULONGLONG until = GetTickCount64() + limitMs;
    // Round by round, so that a peer that keeps sending cannot take the time
    // of the others.
    for (bool more = true; more && GetTickCount64() < until;) {
        more = false;
        for (int i = 0; i < t->count; ++i) {
            TcpConnection* c = &t->table[i];
            if (c->socket == INVALID_SOCKET) continue;
            ReadResult read = ReadConnection(c, sink, buffer, size, false, until);
            if (read == kReadToTheEnd) EndConnection(c, sink);
            more = more || read == kReadMore;
        }
    }
    unsigned left = 0;
    unsigned long long unread = 0;
    for (int i = 0; i < t->count; ++i) {
        TcpConnection* c = &t->table[i];
        if (c->socket == INVALID_SOCKET) continue;
        u_long pending = 0;
        if (ioctlsocket(c->socket, FIONREAD, &pending) == 0) unread += pending;
        ++left;
        EndConnection(c, sink);
    }
    t->count = 0;
    if (left != 0) {
        char text[160];
        snprintf(text, sizeof text, kTextTcpUnreadFormat, left, unread);
        WriteStatusLine(sink, text);
    }
    if (t->refused != 0) WriteRefusals(t, sink);
}

void ReportRefusals(TcpConnections* t, EntrySink* sink) {
    if (t->refused == 0) return;
    ULONGLONG now = GetTickCount64();
    if (now - t->lastRefusal >= kRefusalQuietMs || now - t->burstStart >= kRefusalBurstMs)
        WriteRefusals(t, sink);
}
