#pragma once
// A renderer that cannot go on: its pipe closed or broke, it did not answer
// in time, or it refused a command. The job then makes the page without it.

#include <stdexcept>
#include <string>

namespace zel::service {

class RenderFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace zel::service
