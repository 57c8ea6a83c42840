// The HTTP client's reading of a response: a loopback server answers every
// connection with the input after its first byte, and the client asks for a
// page through it as its proxy, so no address a response names is ever
// contacted. The first byte chooses whether header and body go to files (in
// the run's temporary folder) or strings. Any answer or clean failure is fine.

#include "FuzzTempDir.h"
#include "LoopbackServer.h"
#include "TQzHTTP.h"

#include <QCoreApplication>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

using namespace zel;

namespace {

std::mutex responseLock;
std::string response;

test::Reply CurrentResponse(int, const std::string&) {
    const std::lock_guard<std::mutex> hold(responseLock);
    return {response};
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static QCoreApplication application(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static test::LoopbackServer server(CurrentResponse);
    if (size == 0)
        return 0;
    {
        const std::lock_guard<std::mutex> hold(responseLock);
        response.assign(reinterpret_cast<const char*>(data) + 1, size - 1);
    }
    TQzHTTP http;
    http.TimeOut = 2000;
    http.Proxy = server.address();
    http.ProxyPort = server.port();
    http.InputFileMode = (data[0] & 1) != 0;
    http.OutputFileMode = (data[0] & 2) != 0;
    if (http.InputFileMode)
        http.Body = (fuzz::TempDir().path() / "body").string();
    if (http.OutputFileMode)
        http.Header = (fuzz::TempDir().path() / "head").string();
    try {
        http.Get("http://fuzz.example/page");
    } catch (const Exception&) {
    }
    return 0;
}
