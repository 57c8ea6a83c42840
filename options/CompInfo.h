#pragma once
// The short description of the computer that goes with a login request:
// seven texts joined by "=". On this system the facts come from the system's
// own files under a root folder ("/" for the real system):
//   1 firmware date         sys/class/dmi/id/bios_date
//   2 firmware version      sys/class/dmi/id/bios_version
//   3 system folder         "/usr", the folder that holds the system
//   4 disk size             total size of the file system holding text 3
//                           (of "/" when the folder is missing), in GiB + "Gb"
//   5 display adapter       vendor and device name of the first display
//                           device in sys/class/drm (the boot device first),
//                           looked up in the PCI name list pci.ids
//   6 memory                MemTotal of proc/meminfo (or the system's page
//                           count), in MiB + "Mb"
//   7 system name           PRETTY_NAME of etc/os-release
// A fact that cannot be read gives "?" ("C?" for the folder, "0Gb" for a
// size that cannot be had). GUI-free.

#include <cstdint>
#include <optional>
#include <string>

namespace zel {

struct ComputerFacts {
    std::optional<std::string> firmwareDate;
    std::optional<std::string> firmwareVersion;
    std::optional<std::string> systemFolder;
    std::optional<std::uint64_t> diskBytes;
    std::optional<std::string> displayAdapter;
    std::uint64_t memoryBytes = 0;
    std::optional<std::string> systemName;
};

// `root` ends in "/".
ComputerFacts ReadComputerFacts(const std::string& root = "/");
std::string DescribeComputer(const ComputerFacts& facts);
// The description of this computer.
std::string DescribeComputer();

} // namespace zel
