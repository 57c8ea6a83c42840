#pragma once
// The authorities that vouch for the servers of secure connections: the
// system's trust store. Tests and benchmarks replace it with the PEM file of
// their own throwaway authority; the program has no setting for it, and no
// way to skip the check.

#include <string>

namespace zel {

// An empty name gives the system's store back.
void SetTrustedAuthoritiesForTesting(const std::string& PemFile);
const std::string& TrustedAuthoritiesFile();

} // namespace zel
