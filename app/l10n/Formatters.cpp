#include "app/l10n/Formatters.h"

#include <cmath>
#include <cstdint>

namespace aerivo::Formatters {

namespace {
// Past 2^53 doubles are no longer whole-number exact; nothing this program shows is that large.
constexpr double largestPrintable = 9007199254740992.0;
} // namespace

std::string wholeNumber(double value) {
    if (!std::isfinite(value)) {
        return "--";
    }
    const double rounded = std::round(value); // halves away from zero
    if (std::fabs(rounded) > largestPrintable) {
        return "--";
    }
    const auto whole = static_cast<std::int64_t>(rounded);
    return std::to_string(whole); // 0 for -0.4, never "-0"
}

std::string temperature(double celsius) {
    return wholeNumber(celsius) + " C";
}

std::string rpm(double revolutionsPerMinute) {
    return wholeNumber(revolutionsPerMinute) + " RPM";
}

std::string percent(double fraction) {
    return wholeNumber(fraction * 100.0) + "%";
}

} // namespace aerivo::Formatters
