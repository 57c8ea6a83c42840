#include "CompInfo.h"

#include "Numbers.h"
#include "TextEdits.h"
#include "Utf8.h"

#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <limits>
#include <vector>

namespace zel {

namespace {
constexpr const char* SystemFolder = "/usr";
constexpr std::size_t MaxAdapterBytes = 128;

// Control characters would break the request line; trailing blanks and the
// line end of a system file are no part of the fact.
std::string Cleaned(std::string text) {
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 32)
            c = ' ';
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

// The first line of a small system file, when it has a text.
std::optional<std::string> FirstLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    if (!in || !std::getline(in, line))
        return std::nullopt;
    line = Cleaned(line);
    if (line.empty())
        return std::nullopt;
    return line;
}

std::optional<std::uint64_t> FileSystemBytes(const std::string& path) {
    struct statvfs fs {};
    if (::statvfs(path.c_str(), &fs) != 0)
        return std::nullopt;
    return static_cast<std::uint64_t>(fs.f_blocks) * fs.f_frsize;
}

std::uint64_t MemoryBytes(const std::string& root) {
    std::ifstream in(root + "proc/meminfo");
    std::string key;
    std::uint64_t kib = 0;
    while (in >> key) {
        if (key == "MemTotal:" && in >> kib)
            return kib * 1024;
        in.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
    }
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGE_SIZE);
    return pages > 0 && pageSize > 0 ? static_cast<std::uint64_t>(pages) * pageSize : 0;
}

// "0x8086" of a sysfs id file as "8086".
std::optional<std::string> PciId(const std::string& path) {
    std::optional<std::string> id = FirstLine(path);
    if (!id || id->size() != 6 || !id->starts_with("0x"))
        return std::nullopt;
    return LowerCase(id->substr(2));
}

// Vendor and device name from the PCI name list: a vendor line is its id, two
// blanks and the name; its devices follow, each on a line beginning with a tab.
std::optional<std::string> PciName(const std::string& root, const std::string& vendor,
                                   const std::string& device) {
    for (const char* list : {"usr/share/misc/pci.ids", "usr/share/hwdata/pci.ids"}) {
        std::ifstream in(root + list);
        std::string line;
        std::optional<std::string> vendorName;
        while (std::getline(in, line)) {
            if (!vendorName) {
                if (line.starts_with(vendor + "  "))
                    vendorName = Cleaned(line.substr(vendor.size() + 2));
            } else if (line.starts_with("\t" + device + "  ")) {
                return *vendorName + " " + Cleaned(line.substr(device.size() + 3));
            } else if (!line.starts_with('\t') && !line.starts_with('#') && !line.empty()) {
                return vendorName; // the vendor's devices are over
            }
        }
        if (vendorName)
            return vendorName;
    }
    return std::nullopt;
}

// The display devices "card0", "card1" ... in number order, the one the
// firmware booted with first.
std::vector<std::string> DisplayDevices(const std::string& root) {
    namespace fs = std::filesystem;
    std::vector<std::pair<int, std::string>> cards;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(root + "sys/class/drm", ec)) {
        const std::string name = entry.path().filename().string();
        if (name.size() <= 4 || name.size() > 10 || !name.starts_with("card") ||
            name.find_first_not_of("0123456789", 4) != std::string::npos)
            continue;
        const std::string device = entry.path().string() + "/device/";
        const bool boot = FirstLine(device + "boot_vga") == "1";
        cards.emplace_back(boot ? -1 : std::stoi(name.substr(4)), device);
    }
    std::sort(cards.begin(), cards.end());
    std::vector<std::string> devices;
    for (const auto& card : cards)
        devices.push_back(card.second);
    return devices;
}

std::optional<std::string> DisplayAdapter(const std::string& root) {
    for (const std::string& device : DisplayDevices(root)) {
        const std::optional<std::string> vendor = PciId(device + "vendor");
        const std::optional<std::string> id = PciId(device + "device");
        if (!vendor || !id)
            continue;
        if (std::optional<std::string> name = PciName(root, *vendor, *id))
            return CutUtf8(*name, MaxAdapterBytes);
    }
    return std::nullopt;
}

std::optional<std::string> SystemName(const std::string& root) {
    for (const char* file : {"etc/os-release", "usr/lib/os-release"}) {
        std::ifstream in(root + file);
        std::string line;
        while (std::getline(in, line)) {
            if (!line.starts_with("PRETTY_NAME="))
                continue;
            std::string name = line.substr(12);
            if (name.size() >= 2 && (name.front() == '"' || name.front() == '\'') &&
                name.back() == name.front())
                name = name.substr(1, name.size() - 2);
            name = Cleaned(name);
            if (!name.empty())
                return name;
        }
    }
    return std::nullopt;
}

std::string Rounded(double value, const char* unit) {
    return std::to_string(RoundHalfEven(value)) + unit;
}
} // namespace

ComputerFacts ReadComputerFacts(const std::string& root) {
    ComputerFacts facts;
    facts.firmwareDate = FirstLine(root + "sys/class/dmi/id/bios_date");
    facts.firmwareVersion = FirstLine(root + "sys/class/dmi/id/bios_version");
    const std::string folder = root + std::string(SystemFolder).substr(1);
    if (std::filesystem::is_directory(folder))
        facts.systemFolder = SystemFolder;
    facts.diskBytes = FileSystemBytes(facts.systemFolder ? folder : root);
    facts.displayAdapter = DisplayAdapter(root);
    facts.memoryBytes = MemoryBytes(root);
    facts.systemName = SystemName(root);
    return facts;
}

std::string DescribeComputer(const ComputerFacts& facts) {
    constexpr double GiB = 1024.0 * 1024.0 * 1024.0;
    constexpr double MiB = 1024.0 * 1024.0;
    const double disk = facts.diskBytes ? static_cast<double>(*facts.diskBytes) : -1.0;
    return facts.firmwareDate.value_or("?") + "=" + facts.firmwareVersion.value_or("?") + "=" +
           facts.systemFolder.value_or("C?") + "=" + Rounded(disk / GiB, "Gb") + "=" +
           facts.displayAdapter.value_or("?") + "=" +
           Rounded(static_cast<double>(facts.memoryBytes) / MiB, "Mb") + "=" +
           facts.systemName.value_or("?");
}

std::string DescribeComputer() {
    return DescribeComputer(ReadComputerFacts());
}

} // namespace zel
