#pragma once
// Pins what tests must not take from the machine: date and time formats,
// the display platform, the web engine's sandbox.

namespace zel::test {

// Runs before the application object is created.
void PinEnvironment();

} // namespace zel::test
