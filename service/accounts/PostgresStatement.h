#pragma once
// A statement on a PostgreSQL connection with a time limit on this side:
// once the kernel has taken a statement, libpq waits for the answer without
// end, so a stalled server or a network that drops packets would hold the
// caller for ever.

#include <chrono>
#include <string>
#include <vector>

struct pg_conn;
struct pg_result;

namespace zel::service {

// Sends `sql`, with `params` as text when there are any (else it may hold
// several statements), and returns its result: the first failed one, else
// the last. Null when it cannot be sent; PQresultStatus() takes that as a
// failure. Throws AccountStoreError when the answer does not come within
// `limit`; the connection is then of no more use.
pg_result* RunWithin(pg_conn* connection, const char* sql, const std::vector<std::string>& params,
                     std::chrono::milliseconds limit);

} // namespace zel::service
