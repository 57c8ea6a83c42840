#pragma once
// Base of every failure the program raises: a message text and nothing else.
// Handlers show what() to the user, so the text must be complete on its own.

#include <stdexcept>
#include <string>

namespace zel {

class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
};

} // namespace zel
