// The 120-byte records the browser reads from its folder: the first record
// of the input as the settings of "nastr.dat", the whole input as the
// statistics file "stat.dat" (written to the run's temporary folder).

#include "FuzzTempDir.h"
#include "SettingsRecord.h"
#include "StatStore.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>

using namespace zel;

namespace {

void ReadSettings(const std::uint8_t* data, std::size_t size) {
    SettingsRecord settings;
    std::memcpy(settings.bytes().data(), data, std::min(size, SettingsRecord::Size));
    const SettingsRecord read = settings;
    // Writing back what was read keeps every field.
    settings.setLogin(read.login());
    settings.setProxy(read.proxy());
    if (settings.login() != read.login() || settings.proxy() != read.proxy() ||
        settings.keepDays() != read.keepDays() || settings.proxyPort() != read.proxyPort())
        std::abort();
}

void ReadStatistics(const std::uint8_t* data, std::size_t size) {
    std::ofstream(StatFileName, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    std::size_t records = 0;
    ForEachStatRecord([&](const StatRecord& record) {
        ++records;
        if (record.WebPage.size() > StatRecord::WebPageCapacity)
            std::abort();
        record.economy();
    });
    if (records != size / StatRecord::Size)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::filesystem::current_path(fuzz::TempDir().path());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ReadSettings(data, size);
    ReadStatistics(data, size);
    return 0;
}
