#pragma once
// The front's responses on a libmicrohttpd connection; each closes the
// connection once sent, as the browser reads a reply until the close.

#include "ArchiveStore.h"

#include <microhttpd.h>
#include <string>

namespace zel::service {

void QueueText(MHD_Connection* connection, unsigned status, const std::string& text);
// The archive read as it is sent.
void QueueArchive(MHD_Connection* connection, const StoredArchive& archive);

} // namespace zel::service
