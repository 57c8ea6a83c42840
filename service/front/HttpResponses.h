#pragma once
// The front's responses on a libmicrohttpd connection; each closes the
// connection once sent, as the browser reads a reply until the close.

#include "ArchiveStore.h"
#include "Replies.h"

#include <microhttpd.h>
#include <string>

namespace zel::service {

void QueueReply(MHD_Connection* connection, const Reply& reply);
// The archive read as it is sent.
void QueueArchive(MHD_Connection* connection, const StoredArchive& archive);

} // namespace zel::service
