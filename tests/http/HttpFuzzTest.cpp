// Random and mutated response headers from a loopback server: every request
// ends in a response or a clean failure, never a crash, a hang or a stray
// exception. All requests go through the server as a proxy, so no address a
// mutated Location names is ever contacted.

#include "HttpTestSupport.h"
#include "LoopbackServer.h"

#include <gtest/gtest.h>

#include <random>

using namespace zel::test;

namespace {

const std::vector<std::string> Seeds = {
    "HTTP/1.0 200 OK\r\nContent-Length: 5\r\nSet-Cookie: a=b; path=/\r\n\r\nhello",
    "HTTP/1.1 302 Found\r\nLocation: http://other.example:8080/x?y=1\r\n\r\n",
    "HTTP/1.0 301 Moved\nLocation: /p\n\nbody",
    "HTTP/1.0 302 Found\r\nLocation: p\r\nSet-Cookie: s=1\r\n\r\n",
    "HTTP/1.0 303 See Other\r\nLocation: https://secure.example/\r\n\r\n",
    "HTTP/1.0 401 Unauthorized\r\nWWW-Authenticate: Basic\r\n\r\nwho",
    "HTTP/1.0 404 Not Found\r\ncontent-length: 99999999999999\r\n\r\n",
    "HTTP/1.0 307 Again\r\nLocation: ftp://user:pw@h/\r\n\r\n",
};

// Deterministic for a connection index, whatever the order of tests.
std::string FuzzedResponse(int index) {
    std::mt19937 rng(static_cast<unsigned>(index) * 2654435761u + 17u);
    auto pick = [&](std::size_t n) {
        return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng);
    };
    if (pick(10) == 0) { // pure noise
        std::string noise(pick(300), '\0');
        for (char& c : noise)
            c = static_cast<char>(pick(256));
        return noise;
    }
    std::string text = Seeds[pick(Seeds.size())];
    const char awkwardBytes[] = {'\r', '\n', '\0', ':', ' ', '/', '9', '-', '%', '\xFF'};
    const std::size_t mutations = 1 + pick(6);
    for (std::size_t m = 0; m < mutations; ++m) {
        std::size_t pos = text.empty() ? 0 : pick(text.size() + 1);
        switch (pick(7)) {
        case 0:
            if (pos < text.size())
                text[pos] = static_cast<char>(pick(256));
            break;
        case 1:
            text.insert(pos, 1, awkwardBytes[pick(sizeof awkwardBytes)]);
            break;
        case 2:
            text.erase(pos, pick(8));
            break;
        case 3:
            text.resize(pos);
            break;
        case 4:
            text.insert(pos, text.substr(pos, pick(40)));
            break;
        case 5: // a long run: an overlong line or a huge number
            text.insert(pos, std::string(pick(2) ? 70000 : 30, pick(2) ? '7' : 'x'));
            break;
        default:
            text.insert(pos, pick(2) ? "\r\nLocation: " : "\nSet-Cookie: ");
            break;
        }
    }
    return text;
}

} // namespace

TEST(HttpFuzz, RandomAndMutatedResponsesEndInAResponseOrACleanFailure) {
    LoopbackServer server(
        [](int index, const std::string&) { return Reply{FuzzedResponse(index)}; });
    TestHttp http;
    http.TimeOut = 300;
    http.Proxy = server.address();
    http.ProxyPort = server.port();
    const int Requests = 3000;
    int responses = 0;
    int failures = 0;
    for (int i = 0; i < Requests; ++i) {
        http.HeaderInfo = zel::THeaderInfo{}; // a cookie with a line break refuses every request
        try {
            http.Get("http://fuzz.example/" + std::to_string(i));
            ++responses;
        } catch (const zel::Exception&) {
            ++failures;
        }
        EXPECT_FALSE(http.Connected);
    }
    EXPECT_EQ(responses + failures, Requests);
    EXPECT_GT(responses, Requests / 4);
    EXPECT_GT(failures, 0);
}
