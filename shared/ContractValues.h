#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>

namespace aerivo {

// Lossless readers for values that cross the helper socket. JSON keeps Booleans, integers,
// floating-point numbers and strings apart, and these readers keep them apart too:
//  - an integer number, or a floating-point number holding a whole value, reads as a 64-bit
//    signed integer (the contract's integers are as wide as the Mac's) when it fits; a fraction,
//    a non-finite value or a value beyond 64 bits does not;
//  - any finite number reads as a double when the conversion is exact (integers up to 2^53);
//  - a string is only ever a string, a Boolean only ever a Boolean (never 1/0, never "true").
std::optional<std::int64_t> contractInteger(const nlohmann::json& value);
std::optional<double> contractDouble(const nlohmann::json& value);
std::optional<std::string> contractString(const nlohmann::json& value);
std::optional<bool> contractBoolean(const nlohmann::json& value);

// The member `key` of an object, or null when `object` is not an object or lacks the key.
const nlohmann::json* contractMember(const nlohmann::json& object, std::string_view key);

} // namespace aerivo
