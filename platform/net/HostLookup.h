#pragma once
// Asynchronous host-name lookup answered by a window message. The name is
// resolved on a helper thread, which only hands its answer back to the GUI
// thread; there the reply is written into the caller's buffer as a HostEnt
// and the message is sent: wParam = request handle, lParam = reply length |
// error << 16 (11001 host not found ...). A request that was cancelled, or
// whose window is gone, is forgotten: its late answer writes nothing.

#include "HiddenWindow.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace zel {

// The reply's layout: every pointer points into the same buffer.
struct HostEnt {
    char* h_name;
    char** h_aliases;
    std::int16_t h_addrtype;
    std::int16_t h_length;
    char** h_addr_list; // IPv4 addresses in network byte order, null-terminated
};

using LookupHandle = std::uint32_t; // 0: the request could not be started

// Starts the lookup; `buffer` must stay valid until the message arrives or
// the request is cancelled. GUI thread only.
LookupHandle WSAAsyncGetHostByName(WindowHandle window, std::uint32_t message, const char* name,
                                   char* buffer, int bufferLength);
// 0, or 10022 when the request is not pending (answered or unknown).
int WSACancelAsyncRequest(LookupHandle handle);

// What the helper thread finds for a name: IPv4 addresses in network byte
// order, or a Windows Sockets error number.
struct HostAddresses {
    std::string name;
    std::vector<std::uint32_t> addresses;
    int error = 0;
};
using HostResolver = std::function<HostAddresses(const std::string& name)>;
// Replaces the system resolver (tests make lookups slow or failing without
// any network); an empty function restores it.
void SetHostResolver(HostResolver resolver);

} // namespace zel
