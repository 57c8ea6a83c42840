#pragma once
// Field helpers for the HTTP client's address and header parsing.

#include <cstddef>
#include <string>

namespace zel {

// The n-th field (from 1) of `text` cut at every `separator`; two separators
// in a row enclose an empty field; empty when `text` is empty or has fewer
// than n - 1 separators.
std::string NthWord(const std::string& text, char separator, int n);
// 1-based position of the n-th `c` in `text` (also when it is the last
// character); text.size() + 1 when there are fewer than n.
std::size_t NthPos(const std::string& text, char c, int n);

} // namespace zel
