#include "HealthCheck.h"

#include <utility>

namespace zel::service {

HealthCheck::HealthCheck(std::function<bool()> ask) : ask_(std::move(ask)) {}

void HealthCheck::Check(Answer answer) {
    {
        std::lock_guard lock(mutex_);
        waiting_.push_back(std::move(answer));
        if (waiting_.size() > 1)
            return; // asked already
    }
    thread_.Run([this] { AskNow(); });
}

void HealthCheck::AskNow() {
    const bool healthy = ask_();
    std::vector<Answer> answers;
    {
        std::lock_guard lock(mutex_);
        answers.swap(waiting_);
    }
    for (const Answer& answer : answers)
        answer(healthy);
}

} // namespace zel::service
