// The browser's check of a page archive before unpacking: the bytes are
// written to a file in the run's temporary folder and checked from there.

#include "ArchiveCheck.h"
#include "FuzzTempDir.h"

#include <cstddef>
#include <cstdint>
#include <fstream>

using namespace zel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = (fuzz::TempDir().path() / "page.zip").string();
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    CheckPageArchive(path);
    return 0;
}
