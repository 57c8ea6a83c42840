#include "ProgramFolder.h"

#include "StatStore.h"
#include "TempWorkDir.h"

#include <filesystem>

namespace zel::test {

SettingsRecord TestSettings(const std::string& login) {
    SettingsRecord settings;
    settings.setLogin(login);
    settings.setLoadImages(true);
    settings.setKeepDays(30);
    settings.setLeft(20);
    settings.setTop(20);
    settings.setWidth(700);
    settings.setHeight(483);
    settings.setJpegQuality(100);
    settings.setColorExponent(8);
    return settings;
}

void LayOutProgramFolder(const SettingsRecord& settings) {
    WriteFile("nastr.dat", std::string(reinterpret_cast<const char*>(settings.bytes().data()),
                                       SettingsRecord::Size));
    WriteFile("links.txt", "");
    WriteFile("stat.dat", "");
    WriteFile("inZel.dat", std::string(4, '\0'));
    WriteFile("help.htm", "<h1>Help</h1>");
    std::filesystem::create_directory("zelhistory");
    std::filesystem::create_directory("page.files");
}

std::vector<StatRecord> StatRecords() {
    std::vector<StatRecord> records;
    ForEachStatRecord([&records](const StatRecord& record) { records.push_back(record); });
    return records;
}

} // namespace zel::test
