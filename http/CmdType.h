#pragma once
// The request command of an HTTP transaction and the event that reports the
// end of one.

#include <cstdint>
#include <functional>

namespace zel {

enum CmdType : std::uint8_t {
    cmdGet,
    cmdOptions,
    cmdHead,
    cmdPost,
    cmdPut,
    cmdPatch,
    cmdCopy,
    cmdMove,
    cmdDelete,
    cmdLink,
    cmdUnlink,
    cmdTrace,
};

using TResultEvent = std::function<void(CmdType Cmd)>;

} // namespace zel
