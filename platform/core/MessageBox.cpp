#include "MessageBox.h"

#include <iostream>
#include <utility>

namespace zel {

namespace {
MessageBoxHandler& handlerStore() {
    static MessageBoxHandler handler;
    return handler;
}

// Without a way to show boxes the text goes to standard error, and the
// answer is the one Escape gives, so nothing is confirmed unseen.
MessageAnswer answerUnseen(const MessageBoxCall& call) {
    std::cerr << call.text << '\n';
    switch (call.buttons) {
    case MessageButtons::Ok:
        return MessageAnswer::Ok;
    case MessageButtons::OkCancel:
        return MessageAnswer::Cancel;
    case MessageButtons::YesNo:
        return MessageAnswer::No;
    }
    return MessageAnswer::Cancel;
}
} // namespace

MessageAnswer ShowMessageBox(MessageKind kind, const std::string& text, MessageButtons buttons) {
    MessageBoxCall call{kind, text, buttons};
    if (handlerStore())
        return handlerStore()(call);
    return answerUnseen(call);
}

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
    return std::exchange(handlerStore(), std::move(handler));
}

} // namespace zel
