#include "SafeReplace.h"

#include "InOutError.h"

#include <cerrno>
#include <cstdio>
#include <unistd.h>

namespace zel {

void ReplaceFile(const std::string& path, const std::function<void(const std::string&)>& write) {
    const std::string temp = path + ".new";
    try {
        write(temp);
        if (std::rename(temp.c_str(), path.c_str()) != 0)
            InOutError::raiseFromErrno(errno);
    } catch (...) {
        ::unlink(temp.c_str());
        throw;
    }
}

} // namespace zel
