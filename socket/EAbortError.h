#pragma once
// A transfer ended by a cancel or a time-out. A handler for ESockError also
// catches it.

#include "ESockError.h"

namespace zel {

class EAbortError : public ESockError {
public:
    using ESockError::ESockError;
};

} // namespace zel
