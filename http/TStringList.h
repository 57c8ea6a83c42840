#pragma once
// An ordered list of text lines that can be kept sorted. Letter case does not
// count in the sort order (ASCII letters only; other bytes compare as they
// are). A sorted list takes new lines at their sorted place and refuses to
// have a line replaced in place.

#include <cstddef>
#include <string>
#include <vector>

namespace zel {

class TStringList {
public:
    virtual ~TStringList() = default;

    std::size_t Count() const { return lines_.size(); }
    const std::string& operator[](std::size_t index) const { return lines_.at(index); }

    // Appends the line (a sorted list inserts it at its place); returns its index.
    std::size_t Add(const std::string& line);
    // Replaces a line; raises "Operation not allowed on sorted list" when sorted.
    void Put(std::size_t index, const std::string& line);
    void Delete(std::size_t index);
    void Clear() { lines_.clear(); }

    bool Sorted() const { return sorted_; }
    // Turning sorting on sorts the present lines.
    void SetSorted(bool sorted);

    // Every line followed by CR LF.
    std::string Text() const;

    // Case-blind order of two texts: negative, 0 or positive.
    static int CompareText(const std::string& a, const std::string& b);

protected:
    // Raises "Operation not allowed on sorted list" when the list is sorted.
    void RequireUnsorted() const;

private:
    std::vector<std::string> lines_;
    bool sorted_ = false;
};

} // namespace zel
