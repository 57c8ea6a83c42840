#include "PostgresStatement.h"

#include "AccountStoreError.h"

#include <cerrno>
#include <cstring>
#include <libpq-fe.h>
#include <memory>
#include <poll.h>

namespace zel::service {

namespace {

using Clock = std::chrono::steady_clock;
using ResultPointer = std::unique_ptr<PGresult, decltype(&PQclear)>;

bool Send(PGconn* connection, const char* sql, const std::vector<std::string>& params) {
    if (params.empty())
        return PQsendQuery(connection, sql) == 1;
    std::vector<const char*> values;
    for (const std::string& param : params)
        values.push_back(param.c_str());
    return PQsendQueryParams(connection, sql, static_cast<int>(values.size()), nullptr,
                             values.data(), nullptr, nullptr, 0) == 1;
}

void WaitForInput(PGconn* connection, Clock::time_point deadline) {
    pollfd socket{PQsocket(connection), POLLIN, 0};
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            throw AccountStoreError("accounts: the database did not answer in time");
        const int ready = poll(&socket, 1, static_cast<int>(left.count()));
        if (ready > 0)
            return;
        if (ready < 0 && errno != EINTR)
            throw AccountStoreError(std::string("accounts: waiting for the database: ") +
                                    std::strerror(errno));
    }
}

// The statement's next result, null after the last; waits only while the
// result is incomplete, so PQgetResult() never blocks.
PGresult* NextResult(PGconn* connection, Clock::time_point deadline) {
    while (PQisBusy(connection)) {
        WaitForInput(connection, deadline);
        if (!PQconsumeInput(connection))
            break; // the connection is gone: the result says so at once
    }
    return PQgetResult(connection);
}

bool Succeeded(const PGresult* result) {
    const ExecStatusType status = PQresultStatus(result);
    return status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
}

} // namespace

PGresult* RunWithin(PGconn* connection, const char* sql, const std::vector<std::string>& params,
                    std::chrono::milliseconds limit) {
    if (!Send(connection, sql, params))
        return nullptr;
    const Clock::time_point deadline = Clock::now() + limit;
    ResultPointer kept(nullptr, &PQclear);
    while (PGresult* result = NextResult(connection, deadline)) {
        ResultPointer next(result, &PQclear);
        if (!kept || Succeeded(kept.get()))
            kept = std::move(next);
    }
    return kept.release();
}

} // namespace zel::service
