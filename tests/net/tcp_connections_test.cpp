// Tests of the TCP connections against real sockets on the loopback: what a
// sender was told has arrived is read to the end at shutdown, however many
// reads that takes (the system may buffer many megabytes), and only the time
// limit stops it, with a line that says what was left; a paced read leaves a
// connection unread while the view's queue is over half full.
#include "net/tcp_connections.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/sink/sink_fixture.h"
#include "tests/test_texts.h"

namespace {

class TcpConnectionsTest : public SinkFixture {
   protected:
    TcpConnections tcp;
    SOCKET listener = INVALID_SOCKET;
    std::vector<SOCKET> clients;

    void SetUp() override {
        SinkFixture::SetUp();
        WSADATA data;
        ASSERT_EQ(0, WSAStartup(0x0202, &data));
        ASSERT_TRUE(OpenTcpConnections(&tcp));
        listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in local = {};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ASSERT_EQ(0, bind(listener, reinterpret_cast<sockaddr*>(&local), sizeof local));
        ASSERT_EQ(0, listen(listener, 16));
        u_long nonBlocking = 1;
        ASSERT_EQ(0, ioctlsocket(listener, FIONBIO, &nonBlocking));
    }

    void TearDown() override {
        for (SOCKET c : clients) closesocket(c);
        if (tcp.count > 0) EndConnections(&tcp, &sink, buffer, sizeof buffer, 0);
        CloseTcpConnections(&tcp);
        closesocket(listener);
        WSACleanup();
        SinkFixture::TearDown();
    }

    // Connects `count` clients, has each send `lines` numbered lines, and
    // waits until the program's side has every byte in its buffers: the
    // bytes are then acknowledged to the sender. Returns the bytes sent.
    unsigned long long Send(int count, int lines) {
        unsigned long long sent = 0;
        Connect(count);
        for (int k = 0; k < count && k < tcp.count; ++k) {
            std::string text;
            for (int n = 0; n < lines; ++n) text += Line(k, n) + "\n";
            sent += send(clients[k], text.data(), static_cast<int>(text.size()), 0);
        }
        for (int i = 0; i < 500 && Pending() < sent; ++i) Sleep(10);
        return sent;
    }

    void Connect(int count) {
        sockaddr_in address;
        int length = sizeof address;
        ASSERT_EQ(0, getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length));
        for (int k = 0; k < count; ++k) {
            SOCKET c = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
            ASSERT_EQ(0, connect(c, reinterpret_cast<sockaddr*>(&address), sizeof address));
            clients.push_back(c);
        }
        for (int i = 0; i < 100 && tcp.count < count; ++i) {
            ASSERT_TRUE(AcceptConnections(&tcp, listener));
            Sleep(10);
        }
        ASSERT_EQ(count, tcp.count);
    }

    static std::string Line(int client, int n) {
        char text[32];
        snprintf(text, sizeof text, "c%d line %06d", client, n);
        return text;
    }

    // Bytes that have arrived and wait to be read, on every connection.
    unsigned long long Pending() {
        unsigned long long all = 0;
        for (int i = 0; i < tcp.count; ++i) {
            u_long pending = 0;
            if (ioctlsocket(tcp.table[i].socket, FIONREAD, &pending) == 0) all += pending;
        }
        return all;
    }

    // A small read buffer, so that a few kilobytes take more reads than any
    // fixed share: the rule, not the buffer sizes of one system, is tested.
    char buffer[1024];
};

// Read to the end within the time, or stopped by it: each connection's lines
// are then all in the log file, or none of them and a line giving the
// connections and the bytes left.
TEST_F(TcpConnectionsTest, ShutdownReadsToTheEndOrSaysWhatIsLeft) {
    const struct {
        DWORD limitMs;
        int clients, lines;
        bool logged;
    } cases[] = {
        {3000, 3, 2000, true},  // 32,000 bytes each: twice a share of reads
        {0, 2, 1000, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("limit " + std::to_string(c.limitMs));
        for (SOCKET s : clients) closesocket(s);
        clients.clear();
        const size_t logStart = ReadLog().size();
        const unsigned long long sent = Send(c.clients, c.lines);
        ASSERT_EQ(static_cast<unsigned long long>(c.clients) * c.lines * (Line(0, 0).size() + 1), sent);
        ASSERT_EQ(sent, Pending());
        EndConnections(&tcp, &sink, buffer, sizeof buffer, c.limitMs);
        EXPECT_EQ(0, tcp.count);
        const std::string log = ReadLog().substr(logStart);
        for (int k = 0; k < c.clients; ++k) {
            size_t found = 0;
            for (size_t at = 0; (at = log.find(Line(k, 0).substr(0, 8), at)) != std::string::npos; ++at) ++found;
            EXPECT_EQ(c.logged ? static_cast<size_t>(c.lines) : 0u, found) << "client " << k;
            EXPECT_EQ(c.logged, log.find(Line(k, c.lines - 1) + "\r\n") != std::string::npos) << "client " << k;
        }
        const std::string left = Sjis("TCP 接続 " + std::to_string(c.clients) + " 件を、読み切れなかった " +
                                      std::to_string(sent) + " バイト");
        EXPECT_EQ(!c.logged, log.find(left) != std::string::npos) << log.substr(0, 300);
    }
}

// A paced read looks at the view's queue before every read: over half full,
// nothing is read and the sender waits; once the view has taken entries,
// reading goes on.
TEST_F(TcpConnectionsTest, PacedReadWaitsWhileTheQueueIsOverHalfFull) {
    Send(1, 100);
    const std::string filler(60000, 'f');
    while (!QueueOverHalf(&sink.queue.entries)) QueueViewText(&sink.queue, filler.data(), filler.size());
    const unsigned long long pending = Pending();
    EXPECT_EQ(kReadPaused, ReadConnection(&tcp.table[0], &sink, buffer, sizeof buffer, true, kNoTimeLimit));
    EXPECT_EQ(pending, Pending());
    Feed(view);
    EXPECT_EQ(kReadToTheEnd, ReadConnection(&tcp.table[0], &sink, buffer, sizeof buffer, true, kNoTimeLimit));
    EXPECT_EQ(0u, Pending());
}

}  // namespace
