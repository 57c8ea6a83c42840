#pragma once
// The message boxes as Qt widgets, installed by the application object.

#include "MessageBox.h"

namespace zel {

// A modal box: "Warning" or "Information" with its icon, or the error box
// (stop icon, program name as caption). A CR in the text breaks the line.
MessageAnswer ShowWidgetMessageBox(const MessageBoxCall& call);

} // namespace zel
