// Transfers on a loopback connection: lines, captures, sends, the time-out
// restarted per packet, cancels from event handlers, accepting.

#include "SocketTestSupport.h"

#include "TempWorkDir.h"

#include <QTimer>
#include <gtest/gtest.h>

using namespace zel;
using namespace zel::test;

// Each line with its own end, however the packets split it (the longest
// that fits the buffer included); what follows stays for the next read.
TEST(ReadLn, ReturnsEachLineWithItsOwnEndAndLeavesTheRest) {
    const std::string longest = std::string(65535, 'y') + "\n";
    const struct {
        std::vector<std::string> packets;
        std::vector<std::string> lines;
        std::string rest;
    } cases[] = {
        {{"first\r\nsecond\nrest of it"}, {"first\r\n", "second\n"}, "rest of it"},
        {{"par", "tial li", "ne\r\nNEXT", "!"}, {"partial line\r\n"}, "NEXT!"},
        {{longest}, {longest}, ""},
    };
    for (const auto& c : cases) {
        LoopbackServer server;
        for (const std::string& packet : c.packets)
            server.send(packet).pause(40);
        auto b = ConnectedTo(server);
        std::string line;
        for (const std::string& expected : c.lines) {
            b->ReadLn(line);
            EXPECT_EQ(line, expected);
        }
        std::string rest;
        b->CaptureString(rest, -1);
        EXPECT_EQ(rest, c.rest);
    }
}

TEST(ReadLn, ThePeerClosingBeforeTheLineEndsGivesAnEmptyLine) {
    LoopbackServer server;
    server.send("no line end").pause(30);
    auto b = ConnectedTo(server);
    std::string line = "old";
    b->ReadLn(line);
    EXPECT_EQ(line, "");
    RunEventsFor(50); // the close is reported: the component replaces its socket
    b->ReadLn(line);  // and again on the new socket, as a capture ends there
    EXPECT_EQ(line, "");
    b->CaptureString(line, -1);
    EXPECT_EQ(line, "");
}

TEST(ReadLn, TimesOutOnASilentServer) {
    LoopbackServer server;
    server.send("partial").silent();
    auto b = ConnectedTo(server, 200);
    std::string line;
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(FailureOf<EAbortError>([&] { b->ReadLn(line); }), "Socket readln aborted");
    EXPECT_GE(clock.elapsed(), 200);
    EXPECT_LT(clock.elapsed(), 1500);
    EXPECT_TRUE(b->TimedOut);
    EXPECT_FALSE(b->Canceled) << "the abort is consumed by the operation it ended";
}

TEST(ReadLn, ALineLongerThanTheBufferIsRefusedWithoutGrowingForever) {
    LoopbackServer server;
    server.send(std::string(70000, 'x') + "\n").silent();
    auto b = ConnectedTo(server);
    std::string line;
    EXPECT_EQ(FailureOf([&] { b->ReadLn(line); }),
              "Received line is too long: no line end within 65536 bytes");
    EXPECT_LE(line.size(), 65536u);
}

TEST(ReadLn, AnAbortWinsOverAWaitingLine) {
    LoopbackServer server;
    server.send("ready\n").silent();
    auto b = ConnectedTo(server);
    RunEventsFor(50);
    b->Cancel();
    std::string line;
    EXPECT_EQ(FailureOf([&] { b->ReadLn(line); }), "Socket readln aborted");
    b->ReadLn(line);
    EXPECT_EQ(line, "ready\n") << "the line stays in the socket";
}

TEST(ReadLn, DestroyingTheComponentFromAHandlerDuringTheWaitIsSafe) {
    LoopbackServer server;
    server.silent();
    auto b = ConnectedTo(server, 0);
    TestBrumel* raw = b.release();
    QTimer::singleShot(50, [&] { delete raw; });
    std::string line;
    EXPECT_THROW(raw->ReadLn(line), EAbortError);
    RunEventsFor(100);
}

TEST(Capture, DestroyingTheComponentFromAHandlerKeepsTheFile) {
    TempWorkDir dir;
    LoopbackServer server;
    server.send("kept").silent();
    TestBrumel* b = ConnectedTo(server, 0).release();
    QTimer::singleShot(100, [&] { delete b; });
    EXPECT_THROW(b->CaptureFile("page.dat"), EAbortError);
    EXPECT_EQ(ReadFile("page.dat"), "kept");
    RunEventsFor(50);
}

TEST(Capture, StringAndFileHoldEveryByteUntilThePeerCloses) {
    TempWorkDir dir;
    std::string body;
    for (int i = 0; i < 30000; ++i)
        body += static_cast<char>(i * 7);
    {
        LoopbackServer server;
        server.send(body).pause(20).send(body);
        auto b = ConnectedTo(server);
        int packets = 0;
        b->OnPacketRecvd = [&](QObject*) { ++packets; };
        b->CaptureFile("body.dat");
        EXPECT_EQ(ReadFile("body.dat"), body + body);
        EXPECT_EQ(b->BytesReceived, 60000);
        EXPECT_GE(packets, 2);
    }
    {
        LoopbackServer server;
        server.send(body);
        auto b = ConnectedTo(server);
        std::string text = "old";
        b->CaptureString(text, -1);
        EXPECT_EQ(text, body);
        EXPECT_EQ(b->BytesReceived, 30000);
    }
}

TEST(Capture, MaxLengthIsCheckedBeforeEachReceive) {
    LoopbackServer server;
    server.send(std::string(100, 'a')).silent();
    auto b = ConnectedTo(server);
    std::string text;
    b->CaptureString(text, 0);
    EXPECT_EQ(text, "");
    RunEventsFor(50);
    b->CaptureString(text, 10);
    EXPECT_EQ(text, std::string(100, 'a')) << "a packet is appended whole";
}

TEST(Capture, CancelFromAHandlerKeepsTheBytesReceived) {
    TempWorkDir dir;
    LoopbackServer server;
    server.send("first packet").silent();
    auto b = ConnectedTo(server, 0);
    QTimer::singleShot(150, [&] { b->Abort(); }); // the Stop button
    EXPECT_EQ(FailureOf([&] { b->CaptureFile("page.dat"); }), "Socket capture aborted");
    EXPECT_EQ(ReadFile("page.dat"), "first packet");
    EXPECT_FALSE(b->Canceled);
}

TEST(Capture, TheTimeOutCountsOnlyTheSilenceSinceTheLastPacket) {
    LoopbackServer server;
    for (int i = 0; i < 8; ++i)
        server.send("packet" + std::to_string(i)).pause(100);
    server.silent();
    auto b = ConnectedTo(server, 250);
    QElapsedTimer clock;
    clock.start();
    std::string text;
    EXPECT_EQ(FailureOf([&] { b->CaptureString(text, -1); }), "Socket capture aborted");
    EXPECT_GE(clock.elapsed(), 800 + 250 - 100) << "cut off before the transfer ended";
    EXPECT_TRUE(b->TimedOut);
    // What arrived is there (the caller's text is its own on an abort).
    EXPECT_EQ(b->BytesReceived, 8 * 7);
}

TEST(Capture, AFileThatCannotBeCreatedFailsBeforeReceiving) {
    TempWorkDir dir;
    LoopbackServer server;
    server.send("data");
    auto b = ConnectedTo(server);
    EXPECT_THROW(b->CaptureFile("no-such-folder/page.dat"), Exception);
    std::string text;
    b->CaptureString(text, -1);
    EXPECT_EQ(text, "data");
}

TEST(Send, WriteStopsAtAZeroByteAndWritelnEndsWithCrLf) {
    LoopbackServer server;
    server.receive(9);
    auto b = ConnectedTo(server);
    b->Write(std::string("ab\0cd", 5));
    b->Writeln("");
    b->Writeln("end");
    EXPECT_EQ(server.received(), "ab\r\nend\r\n");
}

TEST(Send, ATextOf65536BytesIsRefusedBeforeAnythingIsSent) {
    LoopbackServer server;
    server.receive(5);
    auto b = ConnectedTo(server);
    EXPECT_EQ(FailureOf([&] { b->Write(std::string(65536, 'x')); }),
              "Text to write is too long: 65536 bytes or more");
    b->Write("fits\n");
    EXPECT_EQ(server.received(), "fits\n");
}

TEST(Send, ALargeWriteReachesASlowReaderWhole) {
    LoopbackServer server;
    server.pause(200).receive(65535);
    auto b = ConnectedTo(server);
    std::string text(65535, 'z');
    b->Write(text);
    EXPECT_EQ(server.received(), text);
}

TEST(Send, APeerThatNeverReadsEndsTheSendAtTheTimeOutInsteadOfFreezing) {
    LoopbackServer server;
    server.silent();
    auto b = ConnectedTo(server, 200);
    std::string chunk(65535, 'w');
    std::string failure = "no failure";
    for (int i = 0; i < 2000 && failure == "no failure"; ++i)
        failure = FailureOf([&] { b->Write(chunk); });
    EXPECT_EQ(failure, "Socket send aborted");
    EXPECT_TRUE(b->TimedOut);
}

TEST(Send, SendFileSendsTheWholeFileAndCountsItAcrossCalls) {
    TempWorkDir dir;
    std::string content;
    for (int i = 0; i < 200000; ++i)
        content += static_cast<char>('a' + i % 26);
    WriteFile("big.dat", content);
    WriteFile("empty.dat", "");
    LoopbackServer server;
    server.receive(content.size() + 3);
    auto b = ConnectedTo(server);
    int packets = 0;
    b->OnPacketSent = [&](QObject*) { ++packets; };
    b->SendFile("big.dat");
    EXPECT_EQ(b->BytesSent, 200000);
    b->SendFile("empty.dat");
    EXPECT_EQ(b->BytesSent, 200000);
    b->Write("end");
    EXPECT_EQ(server.received(), content + "end");
    EXPECT_GE(packets, 4);
    EXPECT_THROW(b->SendFile("missing.dat"), Exception);
}

TEST(Send, ASendStartedAfterACancelIsAborted) {
    LoopbackServer server;
    server.receive(3);
    auto b = ConnectedTo(server);
    b->Cancel();
    EXPECT_EQ(FailureOf([&] { b->Writeln("x"); }), "Socket send aborted");
    b->Write("now");
    EXPECT_EQ(server.received(), "now");
}

TEST(Transaction, ReadsTheReplyNumber) {
    LoopbackServer server;
    server.receive(6).send("250 OK\r\n").receive(8).send("hello\r\n").receive(10);
    server.send("40000 too big\r\n");
    auto b = ConnectedTo(server);
    b->ReportLevel = 1;
    std::string reply;
    b->Transaction("HELO", reply);
    EXPECT_EQ(reply, "250 OK\r\n");
    EXPECT_EQ(b->LastReply, reply);
    EXPECT_EQ(b->ReplyNumber, 250);
    EXPECT_EQ(b->Status, "250 OK\r\n");
    b->Transaction("", reply);
    EXPECT_EQ(reply, "hello\r\n");
    EXPECT_EQ(b->ReplyNumber, 0);
    EXPECT_EQ(FailureOf([&] { b->Transaction("", reply); }),
              "Reply number 40000 is out of range: the largest is 32767");
    EXPECT_EQ(server.received(), "HELO\r\n\r\n\r\n");
}

TEST(Connection, ThePeersCloseWaitsForUnreadDataThenReplacesTheSocket) {
    LoopbackServer server;
    server.send("unread");
    auto b = ConnectedTo(server);
    int disconnects = 0;
    b->OnDisconnect = [&](QObject*) { ++disconnects; };
    RunEventsFor(100);
    EXPECT_TRUE(b->Connected) << "data still waits";
    EXPECT_EQ(disconnects, 0);
    std::string text;
    b->CaptureString(text, -1);
    EXPECT_EQ(text, "unread");
    RunEventsFor(100);
    EXPECT_FALSE(b->Connected);
    EXPECT_EQ(disconnects, 1);
    EXPECT_NE(b->SocketHandle(), TBrumel::NoSocket);
}

TEST(Connection, AReadableEventIsReportedOnceUntilTheNextReceive) {
    LoopbackServer server;
    server.send("waiting").silent();
    auto b = ConnectedTo(server);
    int readable = 0;
    b->OnReadReady = [&](QObject*) { ++readable; };
    RunEventsFor(100);
    EXPECT_EQ(readable, 1);
    EXPECT_TRUE(b->DataAvailable()); // a receive (peek): the event is armed again
    RunEventsFor(100);
    EXPECT_EQ(readable, 2);
}

TEST(Accept, TakesAnIncomingConnectionAndCanBeCanceled) {
    TestBrumel listener;
    std::uint16_t port = listener.Listen(0);
    TestBrumel client;
    Aim(client, "127.0.0.1", port);
    client.Connect();
    std::uint16_t accepted = listener.Accept();
    ASSERT_NE(accepted, TBrumel::NoSocket);
    EXPECT_EQ(listener.RemoteAddress.sin_addr, inet_addr("127.0.0.1"));
    closesocket(accepted);

    listener.WaitEnded = false;
    QTimer::singleShot(50, [&] { listener.Abort(); });
    EXPECT_EQ(FailureOf([&] { listener.Accept(); }), "Accepting Canceled");
    EXPECT_TRUE(listener.Canceled);
}
