#include "OpenFileLimit.h"

#include <sys/resource.h>

namespace zel::service {

std::uint64_t RaiseOpenFileLimit() {
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) != 0)
        return 0;
    if (files.rlim_cur < files.rlim_max) {
        const rlim_t before = files.rlim_cur;
        files.rlim_cur = files.rlim_max;
        if (setrlimit(RLIMIT_NOFILE, &files) != 0)
            files.rlim_cur = before;
    }
    return files.rlim_cur;
}

} // namespace zel::service
