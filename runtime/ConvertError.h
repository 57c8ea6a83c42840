#pragma once
// A text that does not convert to the wanted value.

#include "Exception.h"

namespace zel {

class ConvertError : public Exception {
public:
    using Exception::Exception;
};

} // namespace zel
