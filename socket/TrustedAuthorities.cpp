#include "TrustedAuthorities.h"

namespace zel {

namespace {
std::string& fileForTesting() {
    static std::string file;
    return file;
}
} // namespace

void SetTrustedAuthoritiesForTesting(const std::string& PemFile) {
    fileForTesting() = PemFile;
}

const std::string& TrustedAuthoritiesFile() {
    return fileForTesting();
}

} // namespace zel
