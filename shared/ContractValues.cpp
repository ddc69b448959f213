#include "shared/ContractValues.h"

#include <cmath>
#include <cstdint>
#include <limits>

namespace aerivo {

namespace {

// Integers beyond this magnitude are not all exactly representable as a double.
constexpr std::int64_t exactDoubleIntegerLimit = std::int64_t{1} << 53;

} // namespace

std::optional<std::int64_t> contractInteger(const nlohmann::json& value) {
    constexpr auto highest = std::numeric_limits<std::int64_t>::max();
    // 2^63 as a double: every whole double below it (and down to -2^63) converts exactly.
    constexpr double twoToThe63 = 9223372036854775808.0;
    if (value.is_number_unsigned()) {
        const auto number = value.get<std::uint64_t>();
        if (number > static_cast<std::uint64_t>(highest)) {
            return std::nullopt;
        }
        return static_cast<std::int64_t>(number);
    }
    if (value.is_number_integer()) {
        return value.get<std::int64_t>();
    }
    if (value.is_number_float()) {
        const double number = value.get<double>();
        if (!std::isfinite(number) || std::trunc(number) != number || number < -twoToThe63 ||
            number >= twoToThe63) {
            return std::nullopt;
        }
        return static_cast<std::int64_t>(number);
    }
    return std::nullopt;
}

std::optional<double> contractDouble(const nlohmann::json& value) {
    if (value.is_number_unsigned()) {
        const auto number = value.get<std::uint64_t>();
        if (number > static_cast<std::uint64_t>(exactDoubleIntegerLimit)) {
            return std::nullopt;
        }
        return static_cast<double>(number);
    }
    if (value.is_number_integer()) {
        const auto number = value.get<std::int64_t>();
        if (number > exactDoubleIntegerLimit || number < -exactDoubleIntegerLimit) {
            return std::nullopt;
        }
        return static_cast<double>(number);
    }
    if (value.is_number_float()) {
        const double number = value.get<double>();
        // JSON text cannot carry NaN or infinity; a programmatically built one is refused so no
        // fan target is ever computed from it.
        if (!std::isfinite(number)) {
            return std::nullopt;
        }
        return number;
    }
    return std::nullopt;
}

std::optional<std::string> contractString(const nlohmann::json& value) {
    if (!value.is_string()) {
        return std::nullopt;
    }
    return value.get<std::string>();
}

std::optional<bool> contractBoolean(const nlohmann::json& value) {
    if (!value.is_boolean()) {
        return std::nullopt;
    }
    return value.get<bool>();
}

const nlohmann::json* contractMember(const nlohmann::json& object, std::string_view key) {
    if (!object.is_object()) {
        return nullptr;
    }
    const auto found = object.find(key);
    if (found == object.end()) {
        return nullptr;
    }
    return &*found;
}

} // namespace aerivo
