#include "ColorCount.h"

#include "Numbers.h"

#include <cmath>

namespace zel {

int GifColorCount(int exponent) {
    return static_cast<int>(RoundHalfEven(std::exp(exponent * std::log(2.0))));
}

} // namespace zel
