#pragma once
// Pins what tests must not take from the machine: locale, date and time
// formats, the display platform.

namespace zel::test {

// Runs before the application object is created.
void PinEnvironment();
// The C locale and the formats "dd.MM.yyyy" and "HH:mm:ss".
void PinLocaleAndFormats();

} // namespace zel::test
