#pragma once

#include <cstdint>

namespace aerivo {

// A well-mixed 64-bit value of the inputs (splitmix64 finaliser): noise that depends only on
// the seed and the step, so reading a sensor never disturbs the machine.
inline std::uint64_t mix(std::uint64_t value) {
    value += 0x9E3779B97F4A7C15ULL;
    value = (value ^ (value >> 30)) * 0xBF58476D1CE4E5B9ULL;
    value = (value ^ (value >> 27)) * 0x94D049BB133111EBULL;
    return value ^ (value >> 31);
}

// The top 53 bits as a number in [0, 1).
inline double unitInterval(std::uint64_t bits) {
    return static_cast<double>(bits >> 11) * 0x1.0p-53;
}

} // namespace aerivo
