#pragma once
// The message of the failure of class E that an operation raised, or
// "no failure"; a failure of another class leaves the test.

#include "Exception.h"

#include <string>

namespace zel::test {

template <class E = Exception, class F> std::string FailureOf(F&& operation) {
    try {
        operation();
    } catch (const E& e) {
        return e.what();
    }
    return "no failure";
}

} // namespace zel::test
