#include "ServiceEndpoints.h"

#include "ScrambledEndpoints.h"

namespace zel {

namespace {
std::string& baseForTesting() {
    static std::string base;
    return base;
}

template <std::size_t N> std::string unscrambled(const char (&stored)[N]) {
    return UnscrambleText(std::string(stored, N - 1), scrambled::Key);
}

std::string endpoint(const std::string& path) {
    const std::string& testBase = baseForTesting();
    return (testBase.empty() ? unscrambled(scrambled::Base) : testBase) + path;
}
} // namespace

std::string UnscrambleText(const std::string& stored, std::uint8_t key) {
    std::string text;
    text.reserve(stored.size());
    for (char c : stored)
        text += static_cast<char>(static_cast<std::uint8_t>(c) ^ key);
    return text;
}

std::string PageRequestEndpoint() {
    return endpoint(unscrambled(scrambled::PagePath));
}

std::string LoginCheckEndpoint() {
    return endpoint(unscrambled(scrambled::PollPath));
}

std::string ArchiveEndpoint() {
    return endpoint(unscrambled(scrambled::ArchivePath));
}

std::string LoginRequestEndpoint() {
    return endpoint(unscrambled(scrambled::LoginPath));
}

void SetServiceBaseForTesting(const std::string& base) {
    baseForTesting() = base;
}

} // namespace zel
