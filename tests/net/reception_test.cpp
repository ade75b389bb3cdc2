// Tests of reception with its real thread and sockets on a spare port: when
// the wait fails, here because the process's WinSock is torn down under the
// running thread so that no socket in the wait is left, every socket is
// reported (a box for UDP, through the owner window; a status line for a TCP
// listener), each connection's unfinished frame becomes an entry, and the
// thread can still be joined; and the close logs what connections that the
// system completed but the thread never took have sent.
#include "net/reception.h"

#include <winsock2.h>

#include <gtest/gtest.h>

#include <string>

#include "syslog/texts.h"
#include "tests/sink/sink_fixture.h"

namespace {

const unsigned short kSparePort = 51400;
const UINT kEntriesMessage = WM_APP + 1, kErrorMessage = WM_APP + 2;

class ReceptionTest : public SinkFixture {
   protected:
    Reception& reception = TheReception();
    sockaddr_in to = {};
    std::string receptionLog;
    SOCKET tcp = INVALID_SOCKET;

    static Reception& TheReception() {
        static Reception reception;  // large: not on the stack
        return reception;
    }

    // Reception on the spare port, with its log file, and (`started`) its thread.
    void Open(bool started) {
        WSADATA data;
        ASSERT_EQ(0, WSAStartup(0x0202, &data));
        char failures[4 * kErrorTextSize];
        ASSERT_TRUE(OpenReception(&reception, "reception.log", kKeepEveryDay, kSparePort, view,
                                  kEntriesMessage, kErrorMessage, failures, sizeof failures));
        ASSERT_STREQ("", failures);
        if (started) {
            ASSERT_TRUE(StartReception(&reception));
        }
        receptionLog = dir + "\\reception.log";
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        to.sin_port = htons(kSparePort);
    }

    // A whole line and an unfinished one, in one piece over a new connection.
    void SendTcp(const char* whole, const char* unfinished) {
        tcp = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        ASSERT_EQ(0, connect(tcp, reinterpret_cast<sockaddr*>(&to), sizeof to));
        const std::string head = "<13>Oct 11 22:14:15 host app: ";
        const std::string piece = head + whole + "\n" + head + unfinished;
        ASSERT_EQ(static_cast<int>(piece.size()), send(tcp, piece.data(), static_cast<int>(piece.size()), 0));
    }
};

TEST_F(ReceptionTest, AFailedWaitReportsEverySocketAndEndsTheConnections) {
    ASSERT_NO_FATAL_FAILURE(Open(true));
    // Once the whole line is logged, the other waits in the connection's frame reader.
    ASSERT_NO_FATAL_FAILURE(SendTcp("first", "no line end"));
    for (int i = 0; i < 500 && ReadLogFile(&reception.sink.log, receptionLog).find("app: first") == std::string::npos; ++i)
        Sleep(10);
    // Datagrams keep the thread busy outside its wait, so that the next wait
    // finds every socket gone.
    SOCKET udp = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    const std::string datagram = "<13>Oct 11 22:14:15 host app: datagram";
    for (int i = 0; i < 2000; ++i)
        sendto(udp, datagram.data(), static_cast<int>(datagram.size()), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    WSACleanup();

    const std::string tcpFailed = std::string("TCP/IPv4: ") + kTextNotifyFailed;
    std::string log;
    for (int i = 0; i < 500 && log.find(tcpFailed) == std::string::npos; ++i) {
        Sleep(10);
        log = ReadLogFile(&reception.sink.log, receptionLog);
    }
    EXPECT_NE(std::string::npos, log.find(tcpFailed));
    EXPECT_NE(std::string::npos, log.find("app: no line end\r\n"));
    MSG msg;
    bool udpReported = false;
    while (PeekMessageA(&msg, view, kErrorMessage, kErrorMessage, PM_REMOVE))
        udpReported = udpReported || (msg.wParam == kUdp4 && *ReceptionErrorText(&reception, kUdp4) != '\0');
    EXPECT_TRUE(udpReported);
    EXPECT_STREQ(kTextNotifyFailed, ReceptionErrorText(&reception, kUdp4));
    for (const ReceptionSocket& s : reception.sockets) EXPECT_EQ(INVALID_SOCKET, s.socket) << s.name;
    CloseReception(&reception);
    DeleteFileA(receptionLog.c_str());
}

// A connection the system completed after the thread's last round, here
// with no thread at all, has had its bytes acknowledged to the sender like
// any other: the close takes it from the listener and logs them.
TEST_F(ReceptionTest, TheCloseReadsConnectionsNotYetTaken) {
    ASSERT_NO_FATAL_FAILURE(Open(false));
    ASSERT_NO_FATAL_FAILURE(SendTcp("waiting", "unfinished"));
    Sleep(200);  // on the loopback the bytes are there long before
    CloseReception(&reception);
    const std::string log = ReadLogFile(&reception.sink.log, receptionLog);
    EXPECT_NE(std::string::npos, log.find("app: waiting\r\n")) << log;
    EXPECT_NE(std::string::npos, log.find("app: unfinished\r\n")) << log;
    closesocket(tcp);
    WSACleanup();
    DeleteFileA(receptionLog.c_str());
}

}  // namespace
