#pragma once
// The socket layer's failure: a message text only.

#include "Exception.h"

namespace zel {

class ESockError : public Exception {
public:
    using Exception::Exception;
};

} // namespace zel
