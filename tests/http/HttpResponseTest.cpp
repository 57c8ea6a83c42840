// The response side of the HTTP client: status, header values, body in a
// string or a file, classification and its events, redirections, time-outs
// and the bounds that keep a hostile server in check.

#include "EAbortError.h"
#include "HttpTestSupport.h"
#include "LoopbackServer.h"
#include "TempWorkDir.h"

#include <gtest/gtest.h>

using namespace zel::test;

namespace {

// Records the client's events as one text.
struct EventLog {
    std::string text;
    void add(const std::string& event) {
        if (!text.empty() && text.ends_with(event)) // the socket may report a close twice
            return;
        text += text.empty() ? event : " " + event;
    }
    void watch(TestHttp& http) {
        http.OnAboutToSend = [this](QObject*) { add("send"); };
        http.OnConnect = [this](QObject*) { add("connect"); };
        http.OnSuccess = [this](zel::CmdType cmd) { add("success" + std::to_string(cmd)); };
        http.OnFailure = [this](zel::CmdType cmd) { add("failure" + std::to_string(cmd)); };
        http.OnDisconnect = [this](QObject*) { add("disconnect"); };
        http.OnRedirect = [this](bool&) { add("redirect"); };
        http.OnAuthenticationNeeded = [this](QObject*) { add("auth"); };
    }
};

} // namespace

TEST(HttpResponse, OkWithHeaderAndBodyInStringMode) {
    const std::string header = "HTTP/1.0 200 OK\r\nServer: t\r\nX-B: 2\r\n\r\n";
    LoopbackServer server({header + "hello"});
    TestHttp http;
    EventLog log;
    log.watch(http);
    std::string status;
    http.ReportLevel = 2;
    http.OnStatus = [&](QObject*, const std::string& text) { status += text + ";"; };
    http.Get(server.url("/"));
    EXPECT_EQ(http.ReplyNumber, 200);
    EXPECT_EQ(http.Body, "hello");
    EXPECT_EQ(http.Header, header);
    EXPECT_EQ(http.ExpectedSize, 0);
    EXPECT_EQ(log.text, "send connect success0 disconnect");
    EXPECT_EQ(status, "Transaction Completed;");
}

TEST(HttpResponse, OkIntoABodyFile) {
    TempWorkDir dir;
    LoopbackServer server({Response("HTTP/1.0 200 OK", {"Content-Length: 5"}, "hello")});
    TestHttp http;
    http.InputFileMode = true;
    http.Body = "page.dat";
    int packets = 0;
    http.OnPacketRecvd = [&](QObject*) { ++packets; };
    http.Get(server.url("/"));
    EXPECT_EQ(ReadFile(dir.file("page.dat")), "hello");
    EXPECT_EQ(http.Body, "page.dat");
    EXPECT_EQ(http.ExpectedSize, 5);
    EXPECT_EQ(http.BytesReceived, 5);
    EXPECT_GE(packets, 1);
}

TEST(HttpResponse, ErrorStatusesAreReportedNotRaised) {
    LoopbackServer server({Response("HTTP/1.0 404 Not Found", {}, "<p>missing</p>"),
                           Response("HTTP/1.0 401 Unauthorized", {}, "who?")});
    TestHttp http;
    EventLog log;
    log.watch(http);
    http.Get(server.url("/x"));
    EXPECT_EQ(http.ReplyNumber, 404);
    EXPECT_EQ(http.Body, "<p>missing</p>");
    EXPECT_EQ(log.text, "send connect failure0 disconnect");
    log.text.clear();
    http.Head(server.url("/y"));
    EXPECT_EQ(http.ReplyNumber, 401);
    EXPECT_EQ(http.Body, "who?");
    EXPECT_EQ(log.text, "send connect failure2 disconnect auth");
    EXPECT_EQ(server.connections(), 2);
}

TEST(HttpResponse, StatusLinesAndHeaderLinesAsServersReallySendThem) {
    LoopbackServer server({
        "", // closes without a byte
        "HTTP/1.0 200 OK\nset-cookie: a=b; path=/\nContent-Length: 1234\n\nbody",
        "HTTP/1.0 404\r\nSet-Cookie:c=d\r\n\r\n", // no reason phrase; no blank after the colon
        "HTTP/1.0 abc OK\r\n\r\nx",
    });
    TestHttp http;
    int successes = 0;
    http.OnSuccess = [&](zel::CmdType) { ++successes; };

    http.Get(server.url("/"));
    EXPECT_EQ(http.ReplyNumber, 0);
    EXPECT_EQ(http.Body, "");
    EXPECT_EQ(http.Header, "");
    EXPECT_EQ(successes, 1);

    http.Get(server.url("/"));
    EXPECT_EQ(http.ReplyNumber, 200);
    EXPECT_EQ(http.ReceivedCookie, "a=b; path=/");
    EXPECT_EQ(http.ExpectedSize, 1234); // announced, yet the body runs to the close
    EXPECT_EQ(http.Body, "body");
    EXPECT_EQ(http.Header, "HTTP/1.0 200 OK\nset-cookie: a=b; path=/\nContent-Length: 1234\n\n");

    http.Get(server.url("/"));
    EXPECT_EQ(http.ReplyNumber, 404);
    EXPECT_EQ(http.ReceivedCookie, "");
    EXPECT_EQ(http.ExpectedSize, 0);

    http.Get(server.url("/"));
    EXPECT_EQ(http.ReplyNumber, 0);
    EXPECT_EQ(http.Body, "x");
    EXPECT_EQ(successes, 3);
}

TEST(HttpResponse, RedirectToAnotherHostCarriesTheCookieBack) {
    LoopbackServer target({Response("HTTP/1.0 200 OK", {}, "there")}, "127.0.0.2");
    LoopbackServer origin({Response(
        "HTTP/1.0 302 Found", {"Set-Cookie: s=1", "Location: " + target.url("/new")}, "moved")});
    TestHttp http;
    EventLog log;
    log.watch(http);
    http.Get(origin.url("/old"));
    EXPECT_EQ(http.Body, "there");
    EXPECT_EQ(http.ReplyNumber, 200);
    EXPECT_EQ(http.HeaderInfo.Cookie, "s=1");
    EXPECT_EQ(log.text, "send connect disconnect redirect send connect success0 disconnect");
    ASSERT_EQ(target.requests().size(), 1u);
    EXPECT_EQ(target.requests()[0],
              DirectRequest("GET /new HTTP/1.0", "127.0.0.2", {"Cookie: s=1"}));

    http.Get(target.url("/later")); // the cookie stays with the object
    EXPECT_NE(target.requests().back().find("\r\nCookie: s=1\r\n"), std::string::npos);
}

TEST(HttpResponse, RelativeLocationsStayOnTheSameServer) {
    LoopbackServer server({Response("HTTP/1.0 301 Moved", {"Location: /p"}, ""),
                           Response("HTTP/1.0 302 Found", {"Location: q"}, ""),
                           Response("HTTP/1.0 200 OK", {}, "end")});
    TestHttp http;
    http.Get(server.url("/start"));
    auto requests = server.requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(FirstLine(requests[1]), "GET /p HTTP/1.0");
    EXPECT_EQ(FirstLine(requests[2]), "GET /q HTTP/1.0");
    EXPECT_EQ(http.RequestUrl, server.url("/q"));
    EXPECT_EQ(http.Body, "end");
}

TEST(HttpResponse, HandledRedirectReturnsTheRedirectingResponse) {
    LoopbackServer server({Response("HTTP/1.0 302 Found", {"Location: /next"}, "moved")});
    TestHttp http;
    http.OnRedirect = [](bool& handled) {
        EXPECT_FALSE(handled);
        handled = true;
    };
    http.Get(server.url("/"));
    EXPECT_EQ(http.ReplyNumber, 302);
    EXPECT_EQ(http.Body, "moved");
    EXPECT_EQ(server.connections(), 1);
}

TEST(HttpResponse, OtherRedirectStatusesFollowOnlyWithALocation) {
    LoopbackServer server({Response("HTTP/1.0 303 See Other", {"Location: /a"}, ""),
                           Response("HTTP/1.0 307 Temporary", {"Location: /b"}, ""),
                           Response("HTTP/1.0 304 Not Modified", {"Location: /c"}, "same"),
                           Response("HTTP/1.0 308 Permanent", {}, "no location"),
                           Response("HTTP/1.0 299 Odd", {}, "odd")});
    TestHttp http;
    int redirects = 0;
    http.OnRedirect = [&](bool&) { ++redirects; };
    http.Get(server.url("/"));
    EXPECT_EQ(http.ReplyNumber, 304); // 304 ends the operation with its response
    EXPECT_EQ(http.Body, "same");
    EXPECT_EQ(redirects, 3);
    http.Get(server.url("/")); // 308 without a Location returns as well
    EXPECT_EQ(http.Body, "no location");
    http.Get(server.url("/"));
    EXPECT_EQ(http.ReplyNumber, 299);
    EXPECT_EQ(http.Body, "odd");
    auto requests = server.requests();
    ASSERT_EQ(requests.size(), 5u);
    EXPECT_EQ(FirstLine(requests[1]), "GET /a HTTP/1.0");
    EXPECT_EQ(FirstLine(requests[2]), "GET /b HTTP/1.0");
    EXPECT_EQ(redirects, 4);
}

TEST(HttpResponse, RedirectionLoopsEndAfterABoundedNumber) {
    LoopbackServer server({Response("HTTP/1.0 302 Found", {}, "")}); // no Location at all
    TestHttp http;
    EXPECT_NE(FailureOf([&] { http.Get(server.url("/")); }).find("Too many redirections"),
              std::string::npos);
    EXPECT_EQ(server.connections(), 21); // twenty redirections followed, the 21st refused
    EXPECT_EQ(FirstLine(server.requests().back()), "GET / HTTP/1.0");
}

TEST(HttpResponse, SilentOrEndlessServersEndWithTheTimeOut) {
    LoopbackServer server([](int index, const std::string&) {
        if (index == 0)
            return Reply{"", true};                                     // never answers
        return Reply{Response("HTTP/1.0 200 OK", {}, "partial"), true}; // never closes
    });
    TestHttp http;
    http.TimeOut = 300;
    EXPECT_EQ(FailureOf([&] { http.Get(server.url("/")); }), "Socket readln aborted");
    EXPECT_TRUE(http.TimedOut);
    EXPECT_EQ(FailureOf<zel::EAbortError>([&] { http.Get(server.url("/")); }),
              "Socket capture aborted");
    EXPECT_EQ(http.Body, "partial");
    EXPECT_FALSE(http.Connected);
}

TEST(HttpResponse, AbortFromAHandlerEndsTheCapture) {
    std::string body(4u << 20, 'b');
    LoopbackServer server({Response("HTTP/1.0 200 OK", {}, body)});
    TestHttp http;
    http.OnPacketRecvd = [&](QObject*) { http.Abort(); };
    EXPECT_EQ(FailureOf([&] { http.Get(server.url("/")); }), "Socket capture aborted");
    EXPECT_FALSE(http.Body.empty());
    EXPECT_LT(http.Body.size(), body.size());
}

TEST(HttpResponse, ABodyThatGoesOnAfterAPauseAtItsBoundIsRefused) {
    TestHttp http;
    http.MaxStringBody = 1u << 20;
    LoopbackServer server;
    server.send("HTTP/1.0 200 OK\r\n\r\n" + std::string(http.MaxStringBody, 'z'))
        .pause(300)
        .send("z");
    server.start();
    EXPECT_EQ(FailureOf([&] { http.Get(server.url("/")); }),
              "The response body is larger than 1 MiB");
    EXPECT_TRUE(http.Body.empty());
}

TEST(HttpResponse, EndlessHeadersAndOversizedBodiesFailCleanly) {
    std::string endlessHeader = "HTTP/1.0 200 OK\r\n";
    while (endlessHeader.size() <= zel::TQzHTTP::MaxResponseHeader)
        endlessHeader += "X-Filler: " + std::string(1000, 'f') + "\r\n";
    TestHttp http;
    http.MaxStringBody = 1u << 20;
    const std::string hugeBody(http.MaxStringBody + 1, 'z');
    LoopbackServer server([&](int index, const std::string&) {
        if (index == 0)
            return Reply{endlessHeader, true};
        return Reply{"HTTP/1.0 200 OK\r\n\r\n" + hugeBody};
    });
    EXPECT_NE(FailureOf([&] { http.Get(server.url("/")); }).find("response header is longer"),
              std::string::npos);
    EXPECT_NE(FailureOf([&] { http.Get(server.url("/")); }).find("response body is larger"),
              std::string::npos);
    EXPECT_TRUE(http.Body.empty());
}
