#pragma once
// Records every message box shown while it lives and answers them from a
// script; unscripted boxes get the first button (OK or Yes).

#include "MessageBox.h"

#include <deque>
#include <vector>

namespace zel::test {

class MessageBoxRecorder {
public:
    MessageBoxRecorder();
    ~MessageBoxRecorder();
    MessageBoxRecorder(const MessageBoxRecorder&) = delete;
    MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;

    void answerNext(MessageAnswer answer) { script_.push_back(answer); }
    const std::vector<MessageBoxCall>& calls() const { return calls_; }
    // The texts of the recorded boxes, in order.
    std::vector<std::string> texts() const;
    // Forgets the boxes recorded so far.
    void clear() { calls_.clear(); }

private:
    MessageAnswer answer(const MessageBoxCall& call);

    std::vector<MessageBoxCall> calls_;
    std::deque<MessageAnswer> script_;
    MessageBoxHandler previous_;
};

} // namespace zel::test
