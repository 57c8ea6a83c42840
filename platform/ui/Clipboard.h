#pragma once

#include <string>

namespace zel {

// The clipboard's text, empty when it holds none.
std::string ClipboardText();

} // namespace zel
