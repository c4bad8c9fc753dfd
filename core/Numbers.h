#pragma once

#include <cmath>

namespace plivan {

// Int(v): the greatest whole number not above v (Int(-0.2) is -1).
inline long long Int(double v)
{
    return static_cast<long long>(std::floor(v));
}

// Every other conversion of a real number to a whole number (list rows, counts
// of spaces, font sizes) rounds to the nearest whole number, a value exactly
// halfway going to the even neighbour: 2.5 -> 2, 3.5 -> 4, -0.5 -> 0.
inline long long RoundHalfEven(double v)
{
    return static_cast<long long>(std::nearbyint(v)); // default rounding mode is to-nearest-even
}

} // namespace plivan
