#pragma once
// A failure of the account store itself (database gone, file broken), as
// against an answer such as "no such login".

#include <stdexcept>

namespace zel::service {

class AccountStoreError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace zel::service
