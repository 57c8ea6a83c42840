#pragma once
// The failure of a page job or of one of its resources, carrying the short
// text that the browser shows after "Bad,".

#include <stdexcept>
#include <string>

namespace zel::service {

class PageError : public std::runtime_error {
public:
    explicit PageError(const std::string& text) : std::runtime_error(text) {}
};

} // namespace zel::service
