#pragma once
// The processor time this process may still use before its limit
// (RLIMIT_CPU) ends it; all threads count.

namespace zel::service {

// Infinity when the process has no limit.
double ProcessorSecondsLeft();

// What the process has used so far.
double ProcessorSecondsUsed();

// What the calling thread has used so far.
double ThreadProcessorSecondsUsed();

} // namespace zel::service
