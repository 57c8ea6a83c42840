#include "DiskCache.h"
#include "OpenCache.h"
#include "SafeCache.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace zel::service {
namespace {

class DiskCacheTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/zel-cache-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
    }
    void TearDown() override { fs::remove_all(folder); }

    std::vector<fs::path> Files() const {
        std::vector<fs::path> files;
        for (const auto& entry : fs::recursive_directory_iterator(folder))
            if (entry.is_regular_file())
                files.push_back(entry.path());
        return files;
    }

    fs::path folder;
};

TEST_F(DiskCacheTest, ADamagedEntryIsAMiss) {
    const std::string value(1000, 'v');
    const std::vector<std::pair<const char*, std::function<void(std::string&)>>> damages = {
        {"cut short", [](std::string& e) { e.resize(e.size() - 1); }},
        {"a byte changed", [](std::string& e) { e[e.size() - 10] ^= 1; }},
        {"empty", [](std::string& e) { e.clear(); }},
        {"longer", [](std::string& e) { e += "x"; }},
    };
    DiskCache cache(folder, 1 << 20);
    for (const auto& [name, damage] : damages) {
        cache.Put("key", value);
        ASSERT_EQ(cache.Get("key"), value) << name;
        const fs::path path = Files().at(0);
        std::string entry;
        {
            std::ifstream in(path, std::ios::binary);
            entry.assign(std::istreambuf_iterator<char>(in), {});
        }
        damage(entry);
        std::ofstream(path, std::ios::binary | std::ios::trunc) << entry;
        EXPECT_FALSE(cache.Get("key")) << name;
    }
    EXPECT_FALSE(cache.Get("other key"));
}

TEST_F(DiskCacheTest, TrimKeepsTheRecentlyUsed) {
    DiskCache cache(folder, 1 << 20);
    const std::string value(10'000, 'v');
    for (int i = 0; i < 10; ++i)
        cache.Put("key" + std::to_string(i), value);
    // All long unused (file times set, not waited for), then two used now.
    for (const fs::path& path : Files())
        fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::hours(100));
    ASSERT_TRUE(cache.Get("key0"));
    ASSERT_TRUE(cache.Get("key9"));
    EXPECT_LE(cache.Trim(50'000), 45'000);
    EXPECT_EQ(Files().size(), 4u);
    EXPECT_TRUE(cache.Get("key0"));
    EXPECT_TRUE(cache.Get("key9"));
}

TEST_F(DiskCacheTest, AFolderThatCannotBeWrittenIsOffAndSaysSoOnce) {
    std::ofstream(folder / "file") << "not a folder";
    int told = 0;
    SafeCache cache(std::make_unique<DiskCache>(folder / "file", 1 << 20),
                    [&](const std::string&) { ++told; });
    cache.Put("key", "value");
    cache.Put("key", "value");
    EXPECT_FALSE(cache.Get("key"));
    EXPECT_FALSE(cache.On());
    EXPECT_EQ(told, 1);
}

TEST(CacheServerAddress, OnlyRedisAddresses) {
    EXPECT_EQ(ParseCacheServer("redis://10.0.0.5:6380").port, 6380);
    EXPECT_EQ(ParseCacheServer("redis://cache.local").host, "cache.local");
    for (const char* bad : {"memcached://a:1", "redis://", "redis://a:0", "redis://a:x",
                            "redis://user@a:1", "a:6379"})
        EXPECT_THROW(ParseCacheServer(bad), std::invalid_argument) << bad;
}

} // namespace
} // namespace zel::service
