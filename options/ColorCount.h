#pragma once
// The number of GIF colours for a colour exponent n: 2 to the power n,
// computed as e^(n ln 2) and rounded, as the options dialog shows it and the
// page request sends it. GUI-free.

namespace zel {

int GifColorCount(int exponent);

} // namespace zel
