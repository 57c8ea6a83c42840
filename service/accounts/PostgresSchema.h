#pragma once
// The account database's tables, one step a version. A server at version N
// has run the first N steps; a new step is added at the end, never edited.

#include <span>

namespace zel::service {

std::span<const char* const> PostgresSchemaSteps();

} // namespace zel::service
