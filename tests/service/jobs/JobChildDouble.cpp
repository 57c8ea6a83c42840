// A job child whose page maker misbehaves on purpose, chosen by the host of
// the address: it crashes, throws, spins, hogs memory, writes too much,
// sleeps, reports nonsense, refuses the address, or makes a small archive
// ("ok").

#include "JobChild.h"
#include "WriteAll.h"

#include <atomic>
#include <csignal>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <thread>
#include <vector>

using namespace zel::service;

namespace {

PageOutcome Misbehave(const PageRequest& request, const PageLimits&, const std::string& archive,
                      const std::function<void(std::int64_t)>& onFetched) {
    const std::string& url = request.url;
    if (url == "http://crash/")
        std::raise(SIGSEGV);
    if (url == "http://throw/")
        throw std::runtime_error("parser fault");
    if (url == "http://spin/") {
        std::atomic<unsigned long> counter{0};
        for (;;)
            counter.fetch_add(1, std::memory_order_relaxed);
    }
    if (url == "http://hog/") {
        std::vector<char*> blocks;
        for (;;) {
            blocks.push_back(new char[16 << 20]);
            std::memset(blocks.back(), 1, 16 << 20);
        }
    }
    if (url == "http://big/") {
        std::ofstream out(archive, std::ios::binary);
        const std::string block(1 << 20, 'x');
        for (int i = 0; i < 64; ++i)
            out.write(block.data(), static_cast<std::streamsize>(block.size())).flush();
    }
    if (url == "http://sleep/")
        std::this_thread::sleep_for(std::chrono::hours(1));
    if (url == "http://refused/")
        return PageOutcome::Failed(FailureKind::AddressRefused, "a private address");
    // A report the service cannot read, then an honest one that comes too late.
    if (url == "http://garbled/")
        WriteAll(kReportDescriptor, "done no-such-kind 1 2 x\n");
    if (url == "http://endless/")
        WriteAll(kReportDescriptor, std::string(1 << 20, 'x'));
    for (int i = 0; i < 3; ++i) {
        onFetched(100);
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
    }
    std::ofstream(archive, std::ios::binary) << "archive of " << url;
    return PageOutcome::Made(300, std::int64_t(11 + url.size()));
}

} // namespace

int main() {
    return RunJobChild(Misbehave);
}
