#pragma once
// Writing a whole text to a descriptor: the job child's reports, the job
// order, the access log and its key file.

#include <string>

namespace zel::service {

// Writes all of `text` to `fd` (a file, or one end of a pipe between the
// service and a job child); false when it cannot, or the other side has
// gone, without raising SIGPIPE.
bool WriteAll(int fd, const std::string& text);

} // namespace zel::service
