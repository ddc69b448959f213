#include "app/model/AerivoAxis.h"

#include <algorithm>
#include <cmath>

namespace aerivo {

double AerivoAxis::span() const {
    return std::max(maximum - minimum, 1.0);
}

double AerivoAxis::clamped(double value) const {
    if (std::isnan(value)) {
        value = minimum;
    }
    return std::min(std::max(value, minimum), maximum);
}

} // namespace aerivo
