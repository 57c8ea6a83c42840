#pragma once
// A few connections to one PostgreSQL server, shared by the threads that
// ask the account store. A connection is made by one caller at a time and
// the others wait for it or for one to come back. Once the server has
// failed (a connection not made, a statement not answered in time) it
// counts as away: callers then wait only briefly for one shared attempt to
// reach it again, made off their threads, and fail as soon as it fails or
// that wait is over. So a stalled server costs each request seconds,
// not a turn in a queue behind every other request's time-out.

#include "TaskPool.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

struct pg_conn;

namespace zel::service {

class PostgresPool {
public:
    // Makes a ready connection or throws AccountStoreError.
    using Opener = std::function<pg_conn*()>;

    struct Waits {
        // For a connection while the server counts as reachable.
        std::chrono::milliseconds forConnection{12000};
        // For the shared attempt while the server counts as away.
        std::chrono::milliseconds whileAway{1000};
    };

    PostgresPool(std::size_t size, Opener open, Waits waits);
    // Every taken connection must have been given back.
    ~PostgresPool();
    PostgresPool(const PostgresPool&) = delete;
    PostgresPool& operator=(const PostgresPool&) = delete;

    // A connection for this thread alone; throws AccountStoreError when none
    // comes within the waits above.
    pg_conn* Take();
    // The taken connection, fit for the next statement.
    void GiveBack(pg_conn* connection);
    // Closes a taken connection that is broken, and the idle ones with it;
    // `failure` set: the server stopped answering on it, and counts as away.
    void Drop(pg_conn* connection, const std::string& failure = "");

private:
    // A new connection, or null with the failure's text.
    pg_conn* OpenOrSay(std::string& failure);
    pg_conn* Open(std::unique_lock<std::mutex>& lock);
    void Away(const std::string& failure); // with the lock held
    void TryToReach();

    const std::size_t size_;
    const Opener open_;
    const Waits waits_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<pg_conn*> idle_;
    std::size_t count_ = 0; // idle and taken ones, and one being made
    bool opening_ = false;
    bool away_ = false;
    bool reaching_ = false;
    unsigned long long attemptsEnded_ = 0;
    std::string failure_; // why the server counts as away
    TaskPool reacher_{1}; // last: ends before the members above
};

} // namespace zel::service
