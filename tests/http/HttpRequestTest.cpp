// The request side of the HTTP client: URL split, the exact request text,
// bodies, credentials, and what is refused before connecting.

#include "ConvertError.h"
#include "HttpTestSupport.h"
#include "LoopbackServer.h"
#include "TempWorkDir.h"

#include <gtest/gtest.h>

using namespace zel::test;

namespace {

const std::string Ok = Response("HTTP/1.0 200 OK", {}, "ok");

std::string HostLine(const LoopbackServer& server) {
    return "Host: " + server.address();
}

} // namespace

TEST(HttpRequest, DirectGetSendsTheFixedLinesInOrder) {
    LoopbackServer server({Ok});
    TestHttp http;
    http.Get(server.url("/a/b.htm"));
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0], HttpMessage({"GET /a/b.htm HTTP/1.0", HostLine(server),
                                                 AcceptLine1, AcceptLine2, ContentTypeLine}));
    EXPECT_EQ(http.Host, "127.0.0.1");
    EXPECT_EQ(http.Port, server.port());
    EXPECT_EQ(http.Body, "ok");
}

TEST(HttpRequest, ProxiedGetSendsTheFullAddressAndKeepAliveBeforeHost) {
    LoopbackServer server({Ok});
    TestHttp http;
    http.Proxy = "127.0.0.1";
    http.ProxyPort = server.port();
    http.Get("http://far.example/a/b.htm"); // the name is never looked up
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(
        server.requests()[0],
        HttpMessage({"GET http://far.example/a/b.htm HTTP/1.0", "Proxy-Connection: Keep-Alive",
                     "Host: far.example", AcceptLine1, AcceptLine2, ContentTypeLine}));
}

TEST(HttpRequest, AddressWithoutPathAsksForTheRootAndGainsASlash) {
    LoopbackServer server({Ok});
    TestHttp http;
    http.Get(server.url(""));
    EXPECT_EQ(http.RequestUrl, server.url("/"));
    http.Get(server.url("/"));
    EXPECT_EQ(http.RequestUrl, server.url("/"));
    auto requests = server.requests();
    ASSERT_EQ(requests.size(), 2u);
    for (const std::string& request : requests)
        EXPECT_EQ(request.substr(0, request.find("\r\n")), "GET / HTTP/1.0");
}

TEST(HttpRequest, PortComesFromTheSchemeTheAddressOrTheCaller) {
    TestHttp http;
    http.Port = 8080;
    http.RequestUrl = "h/x"; // no scheme, no colon: the caller's port stays
    http.SplitUrl();
    EXPECT_EQ(http.Host, "h");
    EXPECT_EQ(http.Port, 8080);
    EXPECT_EQ(http.RequestPath, "/x");

    http.RequestUrl = "http://h/x";
    http.SplitUrl();
    EXPECT_EQ(http.Port, 80);
    for (const char* url : {"http://h:8080/x", "h:8080/x"}) {
        http.Port = 0;
        http.RequestUrl = url;
        http.SplitUrl();
        EXPECT_EQ(http.Port, 8080) << url;
        EXPECT_EQ(http.Host, "h") << url;
        EXPECT_EQ(http.RequestPath, "/x") << url;
    }
    http.RequestUrl = "ftp://files.example/f";
    http.SplitUrl();
    EXPECT_EQ(http.Port, 21);
    http.RequestUrl = "Gopher://g.example/";
    http.SplitUrl();
    EXPECT_EQ(http.Port, 70);
    EXPECT_EQ(http.Host, "g.example");

    TestHttp fresh;
    fresh.RequestUrl = "/only/path";
    fresh.SplitUrl();
    EXPECT_EQ(fresh.Port, 80); // 0 becomes 80
    EXPECT_EQ(fresh.Host, "");
}

TEST(HttpRequest, UnusableAddressesFailBeforeConnecting) {
    LoopbackServer server({Ok});
    TestHttp http;
    int aboutToSend = 0;
    http.OnAboutToSend = [&](QObject*) { ++aboutToSend; };
    auto message = [&](const std::string& url) {
        try {
            http.Get(url);
        } catch (const zel::Exception& failure) {
            return std::string(failure.what());
        }
        return std::string("no failure");
    };
    EXPECT_EQ(message(""), "Empty URL");
    EXPECT_EQ(message("HTTPS://secure.example/"), "HTTP Secure Socket is not supported");
    EXPECT_EQ(message("hTTps://secure.example/"), "HTTP Secure Socket is not supported");
    EXPECT_THROW(http.Get("http://user:secret@" + server.address() + "/"), zel::ConvertError);
    EXPECT_EQ(aboutToSend, 0);
    EXPECT_EQ(server.connections(), 0);
}

TEST(HttpRequest, SlashAddressGoesToThePreviousHost) {
    LoopbackServer server({Ok});
    TestHttp http;
    http.Get(server.url("/first"));
    http.Get("/second");
    auto requests = server.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1], HttpMessage({"GET /second HTTP/1.0", HostLine(server), AcceptLine1,
                                        AcceptLine2, ContentTypeLine}));
}

TEST(HttpRequest, PostInStringModeSendsTheFormEncodedData) {
    LoopbackServer server({Ok});
    TestHttp http;
    http.Post(server.url("/form"), "a b&c=d");
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0],
              HttpMessage({"POST /form HTTP/1.0", HostLine(server), AcceptLine1, AcceptLine2,
                           ContentTypeLine, "Content-Length: 11"},
                          "a+b%26c%3Dd"));
}

TEST(HttpRequest, PostFromAFileSendsItsBytesAndWritesTheHeaderFile) {
    TempWorkDir dir;
    std::string bytes("bin\0\x01\xFF data\r\n", 14);
    WriteFile(dir.file("Send.dat"), bytes);
    const std::string response = Response("HTTP/1.0 200 OK", {"X-A: 1"}, "done");
    LoopbackServer server({response});
    TestHttp http;
    http.OutputFileMode = true;
    http.Header = dir.file("head.txt");
    http.Post(server.url("/up"), dir.file("Send.dat"));
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0],
              HttpMessage({"POST /up HTTP/1.0", HostLine(server), AcceptLine1, AcceptLine2,
                           ContentTypeLine, "Content-Length: 14"},
                          bytes));
    EXPECT_EQ(ReadFile(dir.file("head.txt")), response.substr(0, response.size() - 4));
    EXPECT_EQ(http.Body, "done");

    EXPECT_THROW(http.Put(server.url("/up"), dir.file("missing.dat")), zel::Exception);
    EXPECT_EQ(server.connections(), 1);
}

TEST(HttpRequest, StringBodiesGoOutWholeWithZeroBytesAndBeyondSixtyFourKiB) {
    LoopbackServer server({Ok});
    TestHttp http;
    http.Put(server.url("/empty"), "");
    std::string big(100000, 'x');
    big[10] = '\0';
    http.Put(server.url("/big"), big);
    auto requests = server.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0], HttpMessage({"PUT /empty HTTP/1.0", HostLine(server), AcceptLine1,
                                        AcceptLine2, ContentTypeLine, "Content-Length: 0"}));
    EXPECT_EQ(requests[1], HttpMessage({"PUT /big HTTP/1.0", HostLine(server), AcceptLine1,
                                        AcceptLine2, ContentTypeLine, "Content-Length: 100000"},
                                       big));
}

TEST(HttpRequest, EveryOperationSendsItsMethodAndItsOwnLines) {
    LoopbackServer server({Ok});
    TestHttp http;
    const std::string url = server.url("/r");
    http.Options(url);
    http.Head(url);
    http.Delete(url);
    http.Patch(url, "p");
    http.Trace(url, "t");
    http.Copy(url, "/dest");
    http.Move(url, "/dest");
    http.Link(url, "<l>");
    http.Unlink(url, "<l>");
    const std::vector<std::string> expected = {
        HttpMessage(
            {"OPTIONS /r HTTP/1.0", HostLine(server), AcceptLine1, AcceptLine2, ContentTypeLine}),
        HttpMessage(
            {"HEAD /r HTTP/1.0", HostLine(server), AcceptLine1, AcceptLine2, ContentTypeLine}),
        HttpMessage(
            {"DELETE /r HTTP/1.0", HostLine(server), AcceptLine1, AcceptLine2, ContentTypeLine}),
        HttpMessage({"PATCH /r HTTP/1.0", HostLine(server), AcceptLine1, AcceptLine2,
                     ContentTypeLine, "Content-Length: 1"},
                    "p"),
        HttpMessage({"TRACE /r HTTP/1.0", HostLine(server), AcceptLine1, AcceptLine2,
                     ContentTypeLine, "Content-Length: 1"},
                    "t"),
        HttpMessage({"COPY /r HTTP/1.0", HostLine(server), AcceptLine1, AcceptLine2,
                     ContentTypeLine, "URI-header: /dest"}),
        HttpMessage({"MOVE /r HTTP/1.0", HostLine(server), AcceptLine1, AcceptLine2,
                     ContentTypeLine, "URI-header: /dest"}),
        HttpMessage({"LINK /r HTTP/1.0", HostLine(server), AcceptLine1, AcceptLine2,
                     ContentTypeLine, "Link: <l>", "Content-Length: 0"}),
        HttpMessage({"UNLINK /r HTTP/1.0", HostLine(server), AcceptLine1, AcceptLine2,
                     ContentTypeLine, "Link: <l>", "Content-Length: 0"}),
    };
    EXPECT_EQ(server.requests(), expected);
}

TEST(HttpRequest, OptionalLinesAndAuthorizationOnlyWithBothUserAndPassword) {
    LoopbackServer server({Ok});
    TestHttp http;
    http.HeaderInfo.LocalProgram = "ZEL/1";
    http.HeaderInfo.LocalMailAddress = "me@example.org";
    http.HeaderInfo.Cookie = "k=v";
    http.HeaderInfo.Referer = "http://ref.example/";
    http.HeaderInfo.UserId = "user";
    http.Get(server.url("/1"));
    http.HeaderInfo = zel::THeaderInfo{};
    http.HeaderInfo.Password = "pass";
    http.Get(server.url("/2"));
    http.HeaderInfo.UserId = "user";
    http.Get(server.url("/3"));
    auto requests = server.requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0],
              HttpMessage({"GET /1 HTTP/1.0", HostLine(server), AcceptLine1, AcceptLine2,
                           "User-Agent: ZEL/1", "From: me@example.org", "Cookie: k=v",
                           "Referer: http://ref.example/", ContentTypeLine}));
    EXPECT_EQ(requests[1].find("Authorization"), std::string::npos);
    EXPECT_EQ(requests[2],
              HttpMessage({"GET /3 HTTP/1.0", HostLine(server), AcceptLine1, AcceptLine2,
                           "Authorization: Basic dXNlcjpwYXNz", ContentTypeLine}));
}

TEST(HttpRequest, TargetBytesThatWouldBreakTheRequestLineArePercentEncoded) {
    LoopbackServer server({Ok});
    TestHttp http;
    const std::string path = "/a b\x01\x7F\xC3\xA9%41/x^^^^^a=1|||||b=2";
    http.Get(server.url(path));
    std::string longPath = "/" + std::string(10000, 'p');
    http.Get(server.url(longPath));
    auto requests = server.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].substr(0, requests[0].find("\r\n")),
              "GET /a%20b%01%7F%C3%A9%41/x^^^^^a=1|||||b=2 HTTP/1.0");
    EXPECT_EQ(requests[1].substr(0, requests[1].find("\r\n")), "GET " + longPath + " HTTP/1.0");
}

TEST(HttpRequest, LineBreaksAndOverlongRequestLinesAreRefusedBeforeConnecting) {
    LoopbackServer server({Ok});
    auto refused = [&](auto&& arrange, const std::string& url) {
        TestHttp http;
        arrange(http);
        try {
            http.Get(url);
        } catch (const zel::Exception& failure) {
            return std::string(failure.what());
        }
        return std::string("sent");
    };
    auto nothing = [](TestHttp&) {};
    EXPECT_EQ(
        refused([](TestHttp& h) { h.HeaderInfo.Cookie = "a=b\r\nX-Evil: 1"; }, server.url("/")),
        "The header line \"Cookie\" contains a line break or a zero byte");
    EXPECT_EQ(refused([](TestHttp& h) { h.HeaderInfo.Referer = std::string("r\0x", 3); },
                      server.url("/")),
              "The header line \"Referer\" contains a line break or a zero byte");
    EXPECT_EQ(refused(nothing, server.url("/a\nHost: evil")),
              "The request address contains a line break or a zero byte");
    EXPECT_EQ(refused(nothing, "http://evil\rX: 1/a"),
              "The header line \"Host\" contains a line break or a zero byte");
    EXPECT_NE(refused(nothing, server.url("/" + std::string(17000, 'p'))).find("too long"),
              std::string::npos);
    EXPECT_EQ(server.connections(), 0);
}

TEST(HttpRequest, AboutToSendMayChangeTheRequestOrStopIt) {
    LoopbackServer server({Ok});
    TestHttp http;
    http.OnAboutToSend = [&](QObject* sender) {
        EXPECT_EQ(sender, &http);
        http.HeaderInfo.Referer = "r";
    };
    http.Get(server.url("/"));
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_NE(server.requests()[0].find("\r\nReferer: r\r\n"), std::string::npos);

    http.OnAboutToSend = [](QObject*) { throw zel::Exception("stopped"); };
    EXPECT_THROW(http.Get(server.url("/")), zel::Exception);
    EXPECT_EQ(server.connections(), 1);
}
