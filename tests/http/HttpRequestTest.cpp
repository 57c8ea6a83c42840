// The request side of the HTTP client: URL split, the exact request text,
// bodies, credentials, and what is refused before connecting.

#include "ConvertError.h"
#include "HttpTestSupport.h"
#include "LoopbackServer.h"
#include "TempWorkDir.h"

#include <gtest/gtest.h>

using namespace zel::test;

namespace {

// A client and a server that answers every request with "ok".
class HttpRequest : public ::testing::Test {
protected:
    std::string failureOfGet(const std::string& url) {
        return FailureOf([&] { http.Get(url); });
    }

    LoopbackServer server{std::vector<std::string>{Response("HTTP/1.0 200 OK", {}, "ok")}};
    TestHttp http;
};

} // namespace

TEST_F(HttpRequest, DirectGetSendsTheFixedLinesInOrderAndASlashAddressGoesToTheSameHost) {
    http.Get(server.url("/a/b.htm"));
    EXPECT_EQ(http.Host, "127.0.0.1");
    EXPECT_EQ(http.Port, server.port());
    EXPECT_EQ(http.Body, "ok");
    http.Get("/second");
    const std::vector<std::string> expected = {
        DirectRequest("GET /a/b.htm HTTP/1.0", server.address()),
        DirectRequest("GET /second HTTP/1.0", server.address())};
    EXPECT_EQ(server.requests(), expected);
}

TEST_F(HttpRequest, ProxiedGetSendsTheFullAddressAndKeepAliveBeforeHost) {
    http.Proxy = "127.0.0.1";
    http.ProxyPort = server.port();
    http.Get("http://far.example/a/b.htm"); // the name is never looked up
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(
        server.requests()[0],
        HttpMessage({"GET http://far.example/a/b.htm HTTP/1.0", "Proxy-Connection: Keep-Alive",
                     "Host: far.example", AcceptLine1, AcceptLine2, ContentTypeLine}));
}

TEST_F(HttpRequest, AddressWithoutPathAsksForTheRootAndGainsASlash) {
    http.Get(server.url(""));
    EXPECT_EQ(http.RequestUrl, server.url("/"));
    http.Get(server.url("/"));
    EXPECT_EQ(http.RequestUrl, server.url("/"));
    auto requests = server.requests();
    ASSERT_EQ(requests.size(), 2u);
    for (const std::string& request : requests)
        EXPECT_EQ(FirstLine(request), "GET / HTTP/1.0");
}

TEST_F(HttpRequest, PortComesFromTheSchemeTheAddressOrTheCaller) {
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

TEST_F(HttpRequest, UnusableAddressesFailBeforeConnecting) {
    int aboutToSend = 0;
    http.OnAboutToSend = [&](QObject*) { ++aboutToSend; };
    EXPECT_EQ(failureOfGet(""), "Empty URL");
    EXPECT_THROW(http.Get("http://user:secret@" + server.address() + "/"), zel::ConvertError);
    EXPECT_EQ(aboutToSend, 0);
    EXPECT_EQ(server.connections(), 0);
}

TEST_F(HttpRequest, PostInStringModeSendsTheFormEncodedData) {
    http.Post(server.url("/form"), "a b&c=d");
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0], DirectRequest("POST /form HTTP/1.0", server.address(), {},
                                                  {"Content-Length: 11"}, "a+b%26c%3Dd"));
}

TEST_F(HttpRequest, PostFromAFileSendsItsBytesAndWritesTheHeaderFile) {
    TempWorkDir dir;
    std::string bytes("bin\0\x01\xFF data\r\n", 14);
    WriteFile(dir.file("Send.dat"), bytes);
    const std::string response = Response("HTTP/1.0 200 OK", {"X-A: 1"}, "done");
    LoopbackServer upload({response});
    http.OutputFileMode = true;
    http.Header = dir.file("head.txt");
    http.Post(upload.url("/up"), dir.file("Send.dat"));
    ASSERT_EQ(upload.requests().size(), 1u);
    EXPECT_EQ(upload.requests()[0], DirectRequest("POST /up HTTP/1.0", upload.address(), {},
                                                  {"Content-Length: 14"}, bytes));
    EXPECT_EQ(ReadFile(dir.file("head.txt")), response.substr(0, response.size() - 4));
    EXPECT_EQ(http.Body, "done");

    EXPECT_THROW(http.Put(upload.url("/up"), dir.file("missing.dat")), zel::Exception);
    EXPECT_EQ(upload.connections(), 1);
}

TEST_F(HttpRequest, StringBodiesGoOutWholeWithZeroBytesAndBeyondSixtyFourKiB) {
    http.Put(server.url("/empty"), "");
    std::string big(100000, 'x');
    big[10] = '\0';
    http.Put(server.url("/big"), big);
    const std::vector<std::string> expected = {
        DirectRequest("PUT /empty HTTP/1.0", server.address(), {}, {"Content-Length: 0"}),
        DirectRequest("PUT /big HTTP/1.0", server.address(), {}, {"Content-Length: 100000"}, big)};
    EXPECT_EQ(server.requests(), expected);
}

TEST_F(HttpRequest, EveryOperationSendsItsMethodAndItsOwnLines) {
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
    const std::string host = server.address();
    const std::vector<std::string> expected = {
        DirectRequest("OPTIONS /r HTTP/1.0", host),
        DirectRequest("HEAD /r HTTP/1.0", host),
        DirectRequest("DELETE /r HTTP/1.0", host),
        DirectRequest("PATCH /r HTTP/1.0", host, {}, {"Content-Length: 1"}, "p"),
        DirectRequest("TRACE /r HTTP/1.0", host, {}, {"Content-Length: 1"}, "t"),
        DirectRequest("COPY /r HTTP/1.0", host, {}, {"URI-header: /dest"}),
        DirectRequest("MOVE /r HTTP/1.0", host, {}, {"URI-header: /dest"}),
        DirectRequest("LINK /r HTTP/1.0", host, {}, {"Link: <l>", "Content-Length: 0"}),
        DirectRequest("UNLINK /r HTTP/1.0", host, {}, {"Link: <l>", "Content-Length: 0"}),
    };
    EXPECT_EQ(server.requests(), expected);
}

TEST_F(HttpRequest, OptionalLinesAndAuthorizationOnlyWithBothUserAndPassword) {
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
    EXPECT_EQ(requests[0], DirectRequest("GET /1 HTTP/1.0", server.address(),
                                         {"User-Agent: ZEL/1", "From: me@example.org",
                                          "Cookie: k=v", "Referer: http://ref.example/"}));
    EXPECT_EQ(requests[1].find("Authorization"), std::string::npos);
    EXPECT_EQ(requests[2], DirectRequest("GET /3 HTTP/1.0", server.address(),
                                         {"Authorization: Basic dXNlcjpwYXNz"}));
}

TEST_F(HttpRequest, TargetBytesThatWouldBreakTheRequestLineArePercentEncoded) {
    const std::string path = "/a b\x01\x7F\xC3\xA9%41/x^^^^^a=1|||||b=2";
    http.Get(server.url(path));
    std::string longPath = "/" + std::string(10000, 'p');
    http.Get(server.url(longPath));
    auto requests = server.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(FirstLine(requests[0]), "GET /a%20b%01%7F%C3%A9%41/x^^^^^a=1|||||b=2 HTTP/1.0");
    EXPECT_EQ(FirstLine(requests[1]), "GET " + longPath + " HTTP/1.0");
}

TEST_F(HttpRequest, LineBreaksAndOverlongRequestLinesAreRefusedBeforeConnecting) {
    http.HeaderInfo.Cookie = "a=b\r\nX-Evil: 1";
    EXPECT_EQ(failureOfGet(server.url("/")),
              "The header line \"Cookie\" contains a line break or a zero byte");
    http.HeaderInfo = zel::THeaderInfo{};
    http.HeaderInfo.Referer = std::string("r\0x", 3);
    EXPECT_EQ(failureOfGet(server.url("/")),
              "The header line \"Referer\" contains a line break or a zero byte");
    http.HeaderInfo = zel::THeaderInfo{};
    EXPECT_EQ(failureOfGet(server.url("/a\nHost: evil")),
              "The request address contains a line break or a zero byte");
    EXPECT_EQ(failureOfGet("http://evil\rX: 1/a"),
              "The header line \"Host\" contains a line break or a zero byte");
    EXPECT_NE(failureOfGet(server.url("/" + std::string(17000, 'p'))).find("too long"),
              std::string::npos);
    // The destination of Copy and Move is the request's last header line.
    const std::string destinations[] = {"/d\r", "/d\nX: 1", std::string("/d\0", 3)};
    for (const std::string& destination : destinations) {
        EXPECT_EQ(FailureOf([&] { http.Copy(server.url("/"), destination); }),
                  "The header line \"URI-header\" contains a line break or a zero byte");
        EXPECT_EQ(FailureOf([&] { http.Move(server.url("/"), destination); }),
                  "The header line \"URI-header\" contains a line break or a zero byte");
    }
    EXPECT_EQ(server.connections(), 0);
}

TEST_F(HttpRequest, AboutToSendMayChangeTheRequestOrStopIt) {
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
