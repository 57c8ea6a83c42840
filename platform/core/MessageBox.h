#pragma once
// Every modal message of the program goes through ShowMessageBox, so tests can
// record the messages and script the answers without a person at the screen.
// GUI-free: the application object installs the boxes as widgets
// (WidgetMessageBox.h).

#include <functional>
#include <string>

namespace zel {

enum class MessageKind { Warning, Information, Error };
enum class MessageButtons { Ok, OkCancel, YesNo };
enum class MessageAnswer { Ok, Cancel, Yes, No };

struct MessageBoxCall {
    MessageKind kind;
    std::string text;
    MessageButtons buttons;
};

// Shows a modal box: "Warning" or "Information" with its icon, or the error
// box (stop icon, program name as caption). A CR in the text breaks the line.
MessageAnswer ShowMessageBox(MessageKind kind, const std::string& text,
                             MessageButtons buttons = MessageButtons::Ok);

using MessageBoxHandler = std::function<MessageAnswer(const MessageBoxCall&)>;
// Sets how boxes are shown and answered; returns the old handler. With none,
// the text goes to standard error and the answer is the one Escape gives.
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

} // namespace zel
