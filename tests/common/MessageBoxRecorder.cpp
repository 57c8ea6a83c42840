#include "MessageBoxRecorder.h"

namespace zel::test {

MessageBoxRecorder::MessageBoxRecorder()
    : previous_(SetMessageBoxHandler([this](const MessageBoxCall& c) { return answer(c); })) {}

MessageBoxRecorder::~MessageBoxRecorder() {
    SetMessageBoxHandler(previous_);
}

std::vector<std::string> MessageBoxRecorder::texts() const {
    std::vector<std::string> out;
    for (const auto& c : calls_)
        out.push_back(c.text);
    return out;
}

MessageAnswer MessageBoxRecorder::answer(const MessageBoxCall& call) {
    calls_.push_back(call);
    if (!script_.empty()) {
        MessageAnswer a = script_.front();
        script_.pop_front();
        return a;
    }
    return call.buttons == MessageButtons::YesNo ? MessageAnswer::Yes : MessageAnswer::Ok;
}

} // namespace zel::test
