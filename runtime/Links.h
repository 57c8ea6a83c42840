#pragma once
// Whether opening a file may go through a symbolic link that the path's last
// part names. Files that a fetched page could have replaced by a link are
// opened with Links::Refuse; such a link then fails as "File access denied".

#include <fcntl.h>

namespace zel {

enum class Links { Follow, Refuse };

inline int OpenFlagFor(Links links) {
    return links == Links::Refuse ? O_NOFOLLOW : 0;
}

} // namespace zel
