#include "CompInfo.h"
#include "TempWorkDir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

using namespace zel;
using namespace zel::test;
namespace fs = std::filesystem;

namespace {
void Put(const std::string& root, const std::string& path, const std::string& text) {
    fs::create_directories(fs::path(root + path).parent_path());
    WriteFile(root + path, text);
}

// A system with every fact in place; card1 is the one the firmware booted with.
std::string FullSystem(const TempWorkDir& dir) {
    const std::string root = dir.path() + "/";
    Put(root, "sys/class/dmi/id/bios_date", "06/23/2023\n");
    Put(root, "sys/class/dmi/id/bios_version", "1.2.3 \n");
    fs::create_directories(root + "usr");
    Put(root, "sys/class/drm/card0/device/vendor", "0x1234\n");
    Put(root, "sys/class/drm/card0/device/device", "0x1111\n");
    Put(root, "sys/class/drm/card0/device/boot_vga", "0\n");
    Put(root, "sys/class/drm/card1/device/vendor", "0x10DE\n");
    Put(root, "sys/class/drm/card1/device/device", "0x1c82\n");
    Put(root, "sys/class/drm/card1/device/boot_vga", "1\n");
    Put(root, "sys/class/drm/card1-HDMI-A-1/status", "connected\n");
    Put(root, "usr/share/misc/pci.ids",
        "# PCI names\n"
        "1234  Technical Corp.\n"
        "\t1111  Emulated VGA\n"
        "10de  NVIDIA Corporation\n"
        "\t1c81  GP107 [GeForce GTX 1050 3GB]\n"
        "\t1c82  GP107 [GeForce GTX 1050 Ti]\n"
        "\t\t1043 8613  PH-GTX1050TI-4G\n"
        "10df  Emulex Corporation\n");
    Put(root, "proc/meminfo", "MemTotal:       16337400 kB\nMemFree:         1000 kB\n");
    Put(root, "etc/os-release",
        "NAME=\"Debian GNU/Linux\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n");
    return root;
}
} // namespace

TEST(CompInfo, DescribesTheSystemFromItsOwnFiles) {
    TempWorkDir dir;
    const ComputerFacts facts = ReadComputerFacts(FullSystem(dir));
    EXPECT_EQ(facts.firmwareDate, "06/23/2023");
    EXPECT_EQ(facts.firmwareVersion, "1.2.3");
    EXPECT_EQ(facts.systemFolder, "/usr");
    ASSERT_TRUE(facts.diskBytes.has_value());
    EXPECT_GT(*facts.diskBytes, 0u);
    EXPECT_EQ(facts.displayAdapter, "NVIDIA Corporation GP107 [GeForce GTX 1050 Ti]");
    EXPECT_EQ(facts.memoryBytes, 16337400ull * 1024);
    EXPECT_EQ(facts.systemName, "Debian GNU/Linux 12 (bookworm)");

    const std::string text = DescribeComputer(facts);
    const std::string disk = std::to_string(static_cast<long long>(
                                 std::nearbyint(*facts.diskBytes / (1024.0 * 1024 * 1024)))) +
                             "Gb";
    EXPECT_EQ(text, "06/23/2023=1.2.3=/usr=" + disk +
                        "=NVIDIA Corporation GP107 [GeForce GTX 1050 Ti]=15954Mb="
                        "Debian GNU/Linux 12 (bookworm)");
}

TEST(CompInfo, FactsThatCannotBeReadGiveTheFallbackTexts) {
    TempWorkDir dir;
    const std::string root = dir.path() + "/";
    Put(root, "sys/class/dmi/id/bios_date", "\n");              // empty
    Put(root, "sys/class/drm/card0/device/vendor", "0x8086\n"); // no name list
    Put(root, "sys/class/drm/card0/device/device", "0x0412\n");
    const ComputerFacts facts = ReadComputerFacts(root);
    EXPECT_FALSE(facts.firmwareDate);
    EXPECT_FALSE(facts.systemFolder);
    EXPECT_FALSE(facts.displayAdapter);
    EXPECT_GT(facts.memoryBytes, 0u) << "the system's own count stands in for meminfo";

    ComputerFacts none;
    none.memoryBytes = 3 * 1024 * 1024 / 2; // 1.5 MiB: a half rounds to the even 2
    EXPECT_EQ(DescribeComputer(none), "?=?=C?=0Gb=?=2Mb=?");
}

TEST(CompInfo, ControlCharactersNeverReachTheRequest) {
    TempWorkDir dir;
    const std::string root = dir.path() + "/";
    Put(root, "sys/class/dmi/id/bios_version", "V1\r\tX\n");
    EXPECT_EQ(ReadComputerFacts(root).firmwareVersion, "V1  X");
    // A vendor known without the device gives the vendor's name alone.
    Put(root, "sys/class/drm/card0/device/vendor", "0x10df\n");
    Put(root, "sys/class/drm/card0/device/device", "0x9999\n");
    Put(root, "usr/share/hwdata/pci.ids", "10df  Emulex Corporation\n\tf100  x\n");
    EXPECT_EQ(ReadComputerFacts(root).displayAdapter, "Emulex Corporation");
}
