#pragma once
// Prepares the process for the embedded web view. Must run before the
// application object exists.

namespace zel {

// Root cannot use Chromium's sandbox, and a display without a GPU (offscreen,
// Xvfb) needs software rendering; both are switched off only where needed.
void PrepareWebEngine();

} // namespace zel
