// The edges of the command line's numbers, and the man page's escapes.

#include "ServiceOptions.h"

#include <gtest/gtest.h>

using namespace zel::service;

TEST(ServiceOptionsEdges, LimitsTakeTheirLastValueAndRefuseTheNext) {
    for (const auto& [word, taken] : {std::pair{"--max-header-bytes=1048576", true},
                                      {"--max-header-bytes=1048577", false},
                                      {"--archive-keep-seconds=31536000", true},
                                      {"--archive-keep-seconds=31536001", false}}) {
        const char* argv[] = {"zelservice", word};
        ServiceOptions options;
        bool refused = false;
        try {
            ParseOptions(2, argv, options);
        } catch (const std::invalid_argument&) {
            refused = true;
        }
        EXPECT_EQ(refused, !taken) << word;
    }
}

// A job's cache entry fits an eighth of the cache and half a file the job may write.
TEST(ServiceOptionsEdges, TheJobsCacheFollowsTheOptions) {
    const struct {
        std::vector<const char*> argv;
        std::string folder;
        std::int64_t maxEntryBytes;
    } cases[] = {
        {{"", "--cache=on"}, "/opt/zel/data/cache", 16 << 20},
        {{"", "--cache=on", "--cache-dir=/srv/c", "--cache-bytes=8388608"}, "/srv/c", 1 << 20},
        {{"", "--cache=on", "--cache-server=redis://h:1", "--job-file-bytes=2097152"}, "", 1 << 20},
        {{"", "--cache=off"}, "", 16 << 20},
    };
    for (const auto& each : cases) {
        ServiceOptions options = DefaultOptions("/opt/zel");
        ParseOptions(int(each.argv.size()), each.argv.data(), options);
        const CacheSettings cache = JobCache(options);
        EXPECT_EQ(cache.folder, each.folder) << each.argv.back();
        EXPECT_EQ(cache.maxEntryBytes, each.maxEntryBytes) << each.argv.back();
    }
}

// The help shows each option's value as it stands in the options given.
TEST(ServiceOptionsEdges, TheHelpShowsWhatWasSet) {
    for (const auto& [word, shown] : {std::pair{"--render=never", "[never]"},
                                      {"--render=always", "[always]"},
                                      {"--cache=off", "[off]"},
                                      {"--keep-scripts", "[on]"},
                                      {"--jobs=7", "[7]"}}) {
        const char* argv[] = {"zelservice", word};
        ServiceOptions options = DefaultOptions("/opt/zel");
        ParseOptions(2, argv, options);
        const std::string head = std::string(word).substr(0, std::string(word).find('='));
        const std::string help = UsageText(options);
        const std::size_t line = help.find('\n', help.find("  " + head));
        ASSERT_NE(line, std::string::npos) << word;
        EXPECT_EQ(help.substr(help.find('\n', line + 1) - std::string(shown).size(),
                              std::string(shown).size()),
                  shown)
            << word;
    }
}

TEST(ServiceOptionsEdges, ManPageEscapesMinusSignsAndBackslashes) {
    const std::string page = ManPageText(DefaultOptions("/opt/zel"), "1.0-rc\\2");
    EXPECT_NE(page.find("\"zelservice 1.0\\-rc\\\\2\""), std::string::npos) << page;
    EXPECT_NE(page.find("\n.B \\-\\-port N\n"), std::string::npos) << page;
}
