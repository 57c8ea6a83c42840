#pragma once
// A fresh empty folder made the current directory for one test; the previous
// directory comes back and the folder is removed afterwards.

#include <QTemporaryDir>

#include <string>

namespace zel::test {

class TempWorkDir {
public:
    TempWorkDir();
    ~TempWorkDir();
    TempWorkDir(const TempWorkDir&) = delete;
    TempWorkDir& operator=(const TempWorkDir&) = delete;

    const std::string& path() const { return path_; }
    // Full path of a name inside the folder.
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    QTemporaryDir dir_;
    std::string path_;
    std::string previous_;
};

// Small file helpers for arranging and checking test folders.
void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);
bool Exists(const std::string& path);

} // namespace zel::test
