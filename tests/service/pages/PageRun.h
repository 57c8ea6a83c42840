#pragma once
// Makes a page into a fresh temporary folder and unpacks it there with the
// same `unzip` the browser uses, so tests look at what the browser would see;
// the pages come from an origin the test starts.

#include "OriginServer.h"
#include "PageTypes.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace zel::service::test {

// Limits for tests: loopback origins allowed, everything else as shipped.
PageLimits TestLimits();

class PageRun {
public:
    PageRun(const PageRequest& request, const PageLimits& limits = TestLimits());
    ~PageRun();

    const PageOutcome& Outcome() const { return outcome_; }
    // What went wrong; nothing when the page was made.
    std::optional<FailureKind> Failure() const {
        return outcome_.ok ? std::nullopt : std::optional(outcome_.failure);
    }
    std::int64_t Reported() const { return reported_; }
    // The unpacked files (unpacked on first use).
    std::string File(const std::string& name);
    bool Exists(const std::string& name);
    struct Entry {
        std::string mode; // as zipinfo shows it: "-rw-r--r--"
        std::string name;
    };
    std::vector<Entry> Entries(); // as listed by the archive
    // Every file under page.files/.
    std::vector<std::string> PageFiles();
    std::filesystem::path Folder() const { return folder_; }

private:
    void Unpack();

    std::filesystem::path folder_;
    PageOutcome outcome_;
    std::int64_t reported_ = 0;
    bool unpacked_ = false;
};

// A test with an origin of its own: it adds the handlers, then starts it.
class OriginTest : public ::testing::Test {
protected:
    OriginServer origin;
};

PageRequest Request(const std::string& url, int quality = 100, int colors = 256, bool gray = false,
                    bool images = true);

} // namespace zel::service::test
