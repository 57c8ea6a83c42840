#include "TStringList.h"

#include "Exception.h"

#include <algorithm>

namespace zel {

namespace {

unsigned char FoldCase(unsigned char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 'a' + 'A') : c;
}

bool TextLess(const std::string& a, const std::string& b) {
    return TStringList::CompareText(a, b) < 0;
}

} // namespace

int TStringList::CompareText(const std::string& a, const std::string& b) {
    std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        int d =
            FoldCase(static_cast<unsigned char>(a[i])) - FoldCase(static_cast<unsigned char>(b[i]));
        if (d != 0)
            return d;
    }
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

std::size_t TStringList::Add(const std::string& line) {
    if (!sorted_) {
        lines_.push_back(line);
        return lines_.size() - 1;
    }
    auto place = std::upper_bound(lines_.begin(), lines_.end(), line, TextLess);
    return static_cast<std::size_t>(lines_.insert(place, line) - lines_.begin());
}

void TStringList::RequireUnsorted() const {
    if (sorted_)
        throw Exception("Operation not allowed on sorted list");
}

void TStringList::Put(std::size_t index, const std::string& line) {
    RequireUnsorted();
    lines_.at(index) = line;
}

void TStringList::Delete(std::size_t index) {
    if (index >= lines_.size())
        throw Exception("List index out of bounds (" + std::to_string(index) + ")");
    lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(index));
}

void TStringList::SetSorted(bool sorted) {
    if (sorted && !sorted_)
        std::stable_sort(lines_.begin(), lines_.end(), TextLess);
    sorted_ = sorted;
}

std::string TStringList::Text() const {
    std::string text;
    for (const std::string& line : lines_)
        text += line + "\r\n";
    return text;
}

} // namespace zel
