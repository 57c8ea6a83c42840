#include "Srcset.h"

#include <cctype>
#include <cmath>
#include <exception>
#include <sstream>
#include <vector>

namespace zel::service {
namespace {

using SrcsetCandidate = SrcsetChoice;

std::vector<SrcsetCandidate> ParseSrcset(std::string_view text) {
    std::vector<SrcsetCandidate> candidates;
    std::size_t i = 0;
    auto space = [&](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    while (i < text.size()) {
        while (i < text.size() && (space(text[i]) || text[i] == ','))
            ++i;
        const std::size_t start = i;
        while (i < text.size() && !space(text[i]))
            ++i;
        std::string url(text.substr(start, i - start));
        SrcsetCandidate candidate;
        if (!url.empty() && url.back() == ',') {
            while (!url.empty() && url.back() == ',')
                url.pop_back();
        } else {
            const std::size_t descriptorStart = i;
            while (i < text.size() && text[i] != ',')
                ++i;
            std::istringstream in{std::string(text.substr(descriptorStart, i - descriptorStart))};
            for (std::string descriptor; in >> descriptor;) {
                const char unit = descriptor.back();
                descriptor.pop_back();
                try {
                    if (unit == 'w')
                        candidate.width = std::stoi(descriptor);
                    else if (unit == 'x')
                        candidate.density = std::stod(descriptor);
                } catch (const std::exception&) {
                }
            }
        }
        if (url.empty())
            continue;
        candidate.url = std::move(url);
        candidates.push_back(std::move(candidate));
    }
    return candidates;
}

} // namespace

SrcsetChoice PickFromSrcset(std::string_view srcset, int boxWidth) {
    const auto candidates = ParseSrcset(srcset);
    if (candidates.empty())
        return {};
    const int wanted = boxWidth > 0 ? boxWidth : 1280;
    const SrcsetCandidate* best = nullptr;
    for (const auto& candidate : candidates) {
        if (candidate.width > 0) {
            const bool fits = candidate.width >= wanted;
            if (best == nullptr ||
                (fits && (best->width < wanted || candidate.width < best->width)) ||
                (!fits && best->width < wanted && candidate.width > best->width))
                best = &candidate;
        } else if (best == nullptr ||
                   std::abs(candidate.density - 1.0) < std::abs(best->density - 1.0)) {
            best = &candidate;
        }
    }
    return *best;
}

} // namespace zel::service
