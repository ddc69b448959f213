#pragma once

#include <string>

namespace aerivo::Formatters {

// Whole numbers, halves rounded away from zero, plain digits with no grouping, never "-0".
// A value that is not finite, or too large to print as a whole number, gives "--" before the
// unit ("-- C", "-- RPM", "--%") rather than a misleading number.
std::string temperature(double celsius);
std::string rpm(double revolutionsPerMinute);
std::string percent(double fraction);

// The rounded whole-number text alone, or "--" for a value that has none.
std::string wholeNumber(double value);

} // namespace aerivo::Formatters
