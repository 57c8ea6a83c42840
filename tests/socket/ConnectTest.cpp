// Connecting: dotted addresses and names, failures and their events, the
// status sequence, host lookup on its helper thread, the library start-up.

#include "SocketTestSupport.h"

#include <QPointer>
#include <QTimer>
#include <gtest/gtest.h>

#include <thread>

using namespace zel;
using namespace zel::test;

namespace {

HostAddresses Loopback(const std::string& name) {
    HostAddresses found;
    found.name = name;
    found.addresses.push_back(inet_addr("127.0.0.1"));
    return found;
}

// Lookups answered by the test itself, so no test depends on the network.
class HostLookup : public testing::Test {
protected:
    void TearDown() override { SetHostResolver({}); }

    static void ResolveNothing() {
        SetHostResolver([](const std::string& name) {
            HostAddresses found;
            found.name = name;
            found.error = 11001;
            return found;
        });
    }
    static void ResolveSlowly(int ms) {
        SetHostResolver([ms](const std::string& name) {
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
            return Loopback(name);
        });
    }
};

std::string ConnectFailure(TBrumel& b) {
    return FailureOf([&] { b.Connect(); });
}

// A lookup ended by a time-out or a cancel is an abort, which ends Connect.
std::string ConnectAbort(TBrumel& b) {
    return FailureOf<EAbortError>([&] { b.Connect(); });
}

} // namespace

TEST(Connect, ToADottedAddressWithoutLookupAndNotTwice) {
    LoopbackServer server;
    StartSilent(server);
    TestBrumel b;
    int resolved = 0, connects = 0;
    b.OnHostResolved = [&](QObject*) { ++resolved; };
    b.OnConnect = [&](QObject* sender) {
        EXPECT_EQ(sender, &b);
        ++connects;
    };
    Aim(b, "127.0.0.1", server.port());
    b.Connect();
    EXPECT_TRUE(b.Connected);
    EXPECT_EQ(resolved, 0);
    EXPECT_EQ(connects, 1);
    EXPECT_EQ(b.RemoteAddress.sin_family, 2);
    EXPECT_EQ(NetworkToHostPort(b.RemoteAddress.sin_port), server.port());
    EXPECT_EQ(ConnectFailure(b), "Already connected");
    EXPECT_TRUE(b.Connected) << "the refused second Connect leaves the connection alone";
}

TEST(Connect, ToLocalhostReportsEveryStepInOrderAtLevel8) {
    LoopbackServer server;
    StartSilent(server);
    TestBrumel b;
    std::vector<std::string> seen;
    b.ReportLevel = 8;
    b.OnStatus = [&](QObject*, const std::string& status) { seen.push_back(status); };
    b.OnHostResolved = [&](QObject*) { seen.push_back("<OnHostResolved>"); };
    b.OnConnect = [&](QObject*) { seen.push_back("<OnConnect>"); };
    Aim(b, "localhost", server.port());
    b.Connect();
    std::vector<std::string> expected = {"Connecting",  "Resolve Host",     "Timer On",
                                         "Timer Off",   "<OnHostResolved>", "Timer On",
                                         "<OnConnect>", "Timer Off"};
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(b.RemoteAddress.sin_addr, inet_addr("127.0.0.1"));
    EXPECT_EQ(b.Status, "Timer Off");
}

TEST(Connect, ReportLevelFiltersStatusTexts) {
    TestBrumel b;
    std::vector<std::string> seen;
    b.OnStatus = [&](QObject*, const std::string& status) { seen.push_back(status); };
    b.ReportLevel = 0;
    b.Cancel();
    EXPECT_TRUE(seen.empty());
    EXPECT_EQ(b.Status, "");
    b.ReportLevel = 4;
    b.Cancel();                  // level 8
    b.StatusMessage(4, "Sends"); // level 4
    EXPECT_EQ(seen, std::vector<std::string>{"Sends"});
    b.OnStatus = [](QObject*, const std::string&) { throw std::runtime_error("display broke"); };
    EXPECT_NO_THROW(b.StatusMessage(1, "still fine"));
    EXPECT_EQ(b.Status, "still fine");
}

TEST(Connect, ARefusedPortFailsAfterOnConnectionFailed) {
    TestBrumel b;
    std::vector<std::string> events;
    b.OnConnectionFailed = [&](QObject*) { events.push_back("failed"); };
    b.OnConnect = [&](QObject*) { events.push_back("connect"); };
    Aim(b, "127.0.0.1", RefusingPort());
    EXPECT_EQ(ConnectFailure(b), "Connection Failed");
    EXPECT_EQ(events, std::vector<std::string>{"failed"});
    EXPECT_FALSE(b.Connected);
    EXPECT_FALSE(b.LastEventOk);

    // The caller's Disconnect gives a fresh socket that connects normally.
    b.Disconnect();
    LoopbackServer server;
    StartSilent(server);
    b.Port = server.port();
    b.Connect();
    EXPECT_TRUE(b.Connected);
}

TEST(Connect, ZeroAddressIsAHostNotFoundUnlessOnInvalidHostRepairsIt) {
    LoopbackServer server;
    StartSilent(server);
    TestBrumel b;
    bool failedEvent = false;
    b.OnConnectionFailed = [&](QObject*) { failedEvent = true; };
    b.Host = "0.0.0.0";
    b.Port = server.port();
    EXPECT_EQ(ConnectFailure(b), "Null Remote Address");

    int asked = 0;
    b.OnInvalidHost = [&](bool& Handled) {
        ++asked;
        Handled = true; // claims a repair but leaves the host as it was
    };
    EXPECT_EQ(ConnectFailure(b), "Null Remote Address");
    EXPECT_EQ(asked, 1) << "asked at most once per Connect";

    asked = 0;
    b.OnInvalidHost = [&](bool& Handled) {
        ++asked;
        b.Host = "127.0.0.1";
        Handled = true;
    };
    b.Connect();
    EXPECT_TRUE(b.Connected);
    EXPECT_EQ(asked, 1);
    EXPECT_FALSE(failedEvent);
}

TEST_F(HostLookup, ANameThatDoesNotResolveIsNullRemoteAddressUnlessOnInvalidHostRepairsIt) {
    ResolveNothing();
    LoopbackServer server;
    StartSilent(server);
    TestBrumel b;
    bool failedEvent = false;
    b.OnConnectionFailed = [&](QObject*) { failedEvent = true; };
    Aim(b, "no-such-host.invalid", server.port());
    EXPECT_EQ(ConnectFailure(b), "Null Remote Address");
    EXPECT_FALSE(failedEvent);
    EXPECT_FALSE(b.LastEventOk);

    b.OnInvalidHost = [&](bool& Handled) {
        b.Host = "127.0.0.1";
        Handled = true;
    };
    b.Connect();
    EXPECT_TRUE(b.Connected);
}

TEST_F(HostLookup, AReplyWithMoreAddressesThanTheBufferHoldsKeepsTheFirst) {
    SetHostResolver([](const std::string& name) {
        HostAddresses found = Loopback(name);
        for (int i = 0; i < 500; ++i)
            found.addresses.push_back(inet_addr("127.0.0.2"));
        return found;
    });
    LoopbackServer server;
    StartSilent(server);
    TestBrumel b;
    Aim(b, "many.test", server.port());
    b.Connect();
    EXPECT_EQ(b.RemoteAddress.sin_addr, inet_addr("127.0.0.1"));
}

TEST_F(HostLookup, TheProxyIsResolvedAndItsPortUsedInsteadOfTheHost) {
    ResolveSlowly(0);
    LoopbackServer proxy;
    StartSilent(proxy);
    TestBrumel b;
    b.Host = "0.0.0.0"; // would fail if it played any part
    b.Port = 1;
    b.Proxy = "proxy.test";
    b.ProxyPort = proxy.port() + 65536; // only the low 16 bits count
    b.TimeOut = 2000;
    b.Connect();
    EXPECT_TRUE(b.Connected);
    EXPECT_EQ(NetworkToHostPort(b.RemoteAddress.sin_port), proxy.port());
}

TEST_F(HostLookup, ASlowLookupTimesOutOrIsCanceledAndItsLateReplyChangesNothing) {
    // The reply comes long after the time-out, so that a loaded machine cannot
    // mistake one for the other.
    ResolveSlowly(2500);
    TestBrumel b;
    bool failedEvent = false;
    b.OnConnectionFailed = [&](QObject*) { failedEvent = true; };
    Aim(b, "slow.test", 80, 100);
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(ConnectAbort(b), "Host Lookup Timed Out");
    EXPECT_GE(clock.elapsed(), 100);
    EXPECT_LT(clock.elapsed(), 2000) << "the time-out, not the reply, ended the wait";
    EXPECT_TRUE(b.TimedOut);
    EXPECT_TRUE(b.Canceled);
    EXPECT_FALSE(failedEvent);

    b.TimeOut = 0;
    QTimer::singleShot(50, [&] { b.Abort(); });
    EXPECT_EQ(ConnectAbort(b), "Host Lookup Canceled");

    // The abandoned replies arrive meanwhile and are dropped.
    b.WaitEnded = false;
    RunEventsFor(2600);
    EXPECT_FALSE(b.WaitEnded);
}

TEST_F(HostLookup, DestroyingAComponentWhileItsLookupRunsIsSafe) {
    ResolveSlowly(200);
    auto* b = new TestBrumel;
    b->Host = "slow.test";
    b->Port = 80;
    QTimer::singleShot(30, [&] { delete b; });
    EXPECT_EQ(ConnectAbort(*b), "Host Lookup Canceled");
    // The reply comes after the component's buffer was released.
    RunEventsFor(350);

    // And a lookup that runs undisturbed still works.
    ResolveSlowly(0);
    LoopbackServer server;
    StartSilent(server);
    TestBrumel c;
    Aim(c, "slow.test", server.port());
    c.Connect();
    EXPECT_TRUE(c.Connected);
}

TEST(Connect, TwoLiveComponentsStartTheLibraryOnce) {
    std::vector<std::string> info;
    {
        TestBrumel first;
        TestBrumel second;
        ASSERT_EQ(first.WinsockInfo.size(), 6u);
        EXPECT_TRUE(second.WinsockInfo.empty());
        EXPECT_EQ(first.WinsockInfo[0], "Version= 1.1");
        EXPECT_EQ(first.WinsockInfo[1].rfind("High Version= ", 0), 0u);
        EXPECT_EQ(first.WinsockInfo[2].rfind("Description= ", 0), 0u);
        EXPECT_EQ(first.WinsockInfo[3], "System= Running");
        EXPECT_EQ(first.WinsockInfo[4].rfind("Max Sockets= ", 0), 0u);
        EXPECT_EQ(first.WinsockInfo[5], "Max Udp pack size= 65507");
        EXPECT_NE(first.SocketHandle(), second.SocketHandle());
    }
    TestBrumel again; // the count went back to 0, so this one starts it anew
    EXPECT_EQ(again.WinsockInfo.size(), 6u);
}

TEST(Connect, TheOwnerDestroysTheComponent) {
    auto* owner = new QObject;
    QPointer<TBrumel> b = new TBrumel(owner);
    delete owner;
    EXPECT_TRUE(b.isNull());
}

TEST(SocketErrors, TextsComeFromTheTableOrSayUnknown) {
    TestBrumel b;
    std::string text;
    b.SocketErrorText(10061, text);
    EXPECT_EQ(text, "10061:Connection refused");
    b.SocketErrorText(11004, text);
    EXPECT_EQ(text, "11004:Valid name, no data record of requested type");
    b.SocketErrorText(12345, text);
    EXPECT_EQ(text, "Unknown Error No. 12345");
    b.SocketErrorText(0, text);
    EXPECT_EQ(text, "");
}

TEST(SocketErrors, AnErrorRaisedBySendingOnAnUnconnectedSocketNamesItself) {
    TestBrumel b;
    std::uint16_t reported = 0;
    b.OnSocketError = [&](QObject*, std::uint16_t number, const std::string&) {
        reported = number;
    };
    EXPECT_EQ(FailureOf([&] { b.Write("x"); }), "10057:Socket is not connected");
    EXPECT_EQ(reported, 10057);
    EXPECT_EQ(b.LastError, 10057);
}
