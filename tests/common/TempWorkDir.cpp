#include "TempWorkDir.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace zel::test {

TempWorkDir::TempWorkDir()
    : path_(dir_.path().toStdString()), previous_(std::filesystem::current_path().string()) {
    if (!dir_.isValid())
        throw std::runtime_error("cannot create a temporary folder");
    std::filesystem::current_path(path_);
}

TempWorkDir::~TempWorkDir() {
    std::error_code ignored;
    std::filesystem::current_path(previous_, ignored);
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

bool Exists(const std::string& path) {
    return std::filesystem::exists(path);
}

} // namespace zel::test
