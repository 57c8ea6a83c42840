#pragma once
// A program folder as the program expects to find it, for the tests that run
// the page request or start the program's windows in a TempWorkDir, and the
// statistics the program leaves there.

#include "SettingsRecord.h"
#include "StatRecord.h"

#include <string>
#include <vector>

namespace zel::test {

// The settings the window tests start from: this login, images on, links
// kept 30 days, quality 100, 256 colours, a 700 x 483 window at 20, 20.
SettingsRecord TestSettings(const std::string& login);

// Writes "nastr.dat" from `settings`, an empty "links.txt" and "stat.dat", a
// page size of 0 in "inZel.dat", "help.htm" ("<h1>Help</h1>") and makes the
// folders "zelhistory" and "page.files" in the current folder.
void LayOutProgramFolder(const SettingsRecord& settings);

// The records of "stat.dat" in the current folder, in order.
std::vector<StatRecord> StatRecords();

} // namespace zel::test
