#include "controls/filled_extent.h"

#include <algorithm>

int FilledExtent(int pos, int lower, int upper, int length)
{
    if (upper == lower || length <= 0) {
        return 0;  // no range to divide by: an empty track
    }
    const double filled = (static_cast<double>(pos) - lower) * length / (static_cast<double>(upper) - lower);
    return static_cast<int>(std::clamp(filled, 0.0, static_cast<double>(length)));
}
