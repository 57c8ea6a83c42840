#pragma once
// A resource sink for the rewriter targets: numbers every resource, and
// leaves out every third one the way a full or too deeply nested page does.

#include "ResourceSink.h"

namespace zel::fuzz {

class RecordingSink : public service::ResourceSink {
public:
    int Register(const std::string&, service::ResourceKind, service::ImageBox, int) override {
        const int id = count_++;
        return id % 3 == 2 ? -1 : id;
    }

private:
    int count_ = 0;
};

// Applies the edits, every edit within the source, as the page job does.
inline std::string ApplyFuzzedEdits(std::string_view source, std::vector<service::Edit> edits) {
    for (const service::Edit& edit : edits)
        if (edit.begin > edit.end || edit.end > source.size())
            std::abort();
    return service::ApplyEdits(source, std::move(edits),
                               [](int id) { return "r/" + std::to_string(id); });
}

} // namespace zel::fuzz
