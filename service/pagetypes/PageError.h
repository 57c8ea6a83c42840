#pragma once
// The failure of a page job or of one of its resources, carrying the short
// text that the browser shows after "Bad,". Code decides on the kind; the
// text is for people.

#include <stdexcept>
#include <string>

namespace zel::service {

inline constexpr char kOutOfMemory[] = "Out of memory";

enum class PageFailure {
    Other,       // refused, unreachable, malformed: this fetch alone failed
    TooBig,      // more bytes than the fetch was allowed
    Inflated,    // decoded far beyond its compressed size: a bomb
    OutOfMemory, // the job ran out of memory
};

class PageError : public std::runtime_error {
public:
    explicit PageError(const std::string& text, PageFailure kind = PageFailure::Other)
        : std::runtime_error(text), kind_(kind) {}

    PageFailure Kind() const { return kind_; }

private:
    PageFailure kind_;
};

} // namespace zel::service
