#include "PostgresPool.h"

#include "AccountStoreError.h"

#include <libpq-fe.h>

namespace zel::service {

PostgresPool::PostgresPool(std::size_t size, Opener open, Waits waits)
    : size_(std::max<std::size_t>(1, size)), open_(std::move(open)), waits_(waits) {}

PostgresPool::~PostgresPool() {
    {
        // A late attempt to reach the server must not add to idle_ after this.
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return !reaching_; });
    }
    for (pg_conn* connection : idle_)
        PQfinish(connection);
}

pg_conn* PostgresPool::Take() {
    std::unique_lock lock(mutex_);
    const auto deadline = std::chrono::steady_clock::now() + waits_.forConnection;
    for (;;) {
        if (away_) {
            // Waits for the attempt under way, or one of its own, to end.
            if (!reaching_) {
                reaching_ = true;
                reacher_.Run([this] { TryToReach(); });
            }
            const unsigned long long ended = attemptsEnded_;
            changed_.wait_for(lock, waits_.whileAway,
                              [&] { return !away_ || attemptsEnded_ != ended; });
            if (away_)
                throw AccountStoreError(failure_);
        } else if (!idle_.empty()) {
            pg_conn* connection = idle_.back();
            idle_.pop_back();
            return connection;
        } else if (count_ < size_ && !opening_) {
            return Open(lock);
        } else if (changed_.wait_until(lock, deadline) == std::cv_status::timeout) {
            throw AccountStoreError("accounts: no connection to the database was free in time");
        }
    }
}

pg_conn* PostgresPool::OpenOrSay(std::string& failure) {
    try {
        return open_();
    } catch (const AccountStoreError& error) {
        failure = error.what();
        return nullptr;
    }
}

pg_conn* PostgresPool::Open(std::unique_lock<std::mutex>& lock) {
    opening_ = true;
    ++count_;
    lock.unlock();
    std::string failure;
    pg_conn* connection = OpenOrSay(failure);
    lock.lock();
    opening_ = false;
    changed_.notify_all();
    if (connection)
        return connection;
    --count_;
    Away(failure);
    throw AccountStoreError(failure);
}

void PostgresPool::GiveBack(pg_conn* connection) {
    std::lock_guard lock(mutex_);
    idle_.push_back(connection);
    changed_.notify_all();
}

// A broken connection is mostly a server that went or restarted: the idle
// ones are then broken too, and are made again when needed.
void PostgresPool::Drop(pg_conn* connection, const std::string& failure) {
    std::vector<pg_conn*> dropped{connection};
    {
        std::lock_guard lock(mutex_);
        dropped.insert(dropped.end(), idle_.begin(), idle_.end());
        count_ -= dropped.size();
        idle_.clear();
        if (!failure.empty())
            Away(failure);
        changed_.notify_all();
    }
    for (pg_conn* broken : dropped)
        PQfinish(broken);
}

void PostgresPool::Away(const std::string& failure) {
    away_ = true;
    failure_ = failure;
}

// One new connection tells whether the server is back; the idle ones may
// have been cut meanwhile, and a statement finds that out and retries.
void PostgresPool::TryToReach() {
    std::string failure;
    pg_conn* connection = OpenOrSay(failure);
    std::lock_guard lock(mutex_);
    reaching_ = false;
    ++attemptsEnded_;
    if (connection) {
        away_ = false;
        if (count_ < size_) {
            idle_.push_back(connection);
            ++count_;
        } else {
            PQfinish(connection);
        }
    } else {
        failure_ = failure;
    }
    changed_.notify_all();
}

} // namespace zel::service
