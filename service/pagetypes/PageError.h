#pragma once
// The failure of a page job or of one of its resources: its kind, on which
// code decides and which the service turns into the user's text, and a
// detail for the service's own log.

#include "FailureKind.h"

#include <stdexcept>
#include <string>

namespace zel::service {

class PageError : public std::runtime_error {
public:
    PageError(FailureKind kind, const std::string& detail)
        : std::runtime_error(detail), kind_(kind) {}

    FailureKind Kind() const { return kind_; }

private:
    FailureKind kind_;
};

} // namespace zel::service
