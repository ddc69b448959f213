#include "shared/SMCValue.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <string_view>

namespace aerivo {

namespace {
constexpr std::string_view whitespace = " \t\n\r\f\v";
} // namespace

std::string SMCValue::trimmedDataType() const {
    const std::string_view type(dataType);
    const auto first = type.find_first_not_of(whitespace);
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = type.find_last_not_of(whitespace);
    return std::string(type.substr(first, last - first + 1));
}

std::optional<double> SMCValue::rpmValue() const {
    const std::string type = trimmedDataType();
    if (type == "flt") {
        if (bytes.size() < 4) {
            return std::nullopt;
        }
        const std::uint32_t pattern =
            static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
            static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
        const auto speed = static_cast<double>(std::bit_cast<float>(pattern));
        if (!std::isfinite(speed)) {
            return std::nullopt;
        }
        return speed;
    }
    if (bytes.size() < 2) {
        return std::nullopt;
    }
    const auto raw = static_cast<std::uint16_t>(bytes[0] << 8 | bytes[1]);
    if (type == "fpe2") {
        return raw / 4.0;
    }
    return static_cast<double>(raw);
}

SMCValue SMCValue::replacingRPM(double rpm) const {
    if (trimmedDataType() != "flt" || std::isnan(rpm)) {
        return *this;
    }
    // Converting a double beyond the float range is undefined; such a speed is pinned to the
    // largest float of its sign instead.
    constexpr double largest = std::numeric_limits<float>::max();
    const auto nearest = static_cast<float>(std::clamp(rpm, -largest, largest));
    const auto pattern = std::bit_cast<std::uint32_t>(nearest);
    SMCValue value = *this;
    value.bytes = {static_cast<std::uint8_t>(pattern & 0xFFU),
                   static_cast<std::uint8_t>((pattern >> 8) & 0xFFU),
                   static_cast<std::uint8_t>((pattern >> 16) & 0xFFU),
                   static_cast<std::uint8_t>((pattern >> 24) & 0xFFU)};
    return value;
}

SMCValue SMCValue::replacingBytes(std::vector<std::uint8_t> newBytes) const {
    SMCValue value = *this;
    value.bytes = std::move(newBytes);
    return value;
}

} // namespace aerivo
