#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace aerivo {

// One key's value as read from the SMC: the key asked for, the four-character type text (trailing
// blanks kept: the float type is "flt "), the number of value bytes kept (the reported size
// capped at 32) and those bytes.
struct SMCValue {
    std::string key;
    std::string dataType;
    int dataSize = 0;
    std::vector<std::uint8_t> bytes;

    bool operator==(const SMCValue&) const = default;

    // The type with surrounding whitespace removed ("flt " -> "flt").
    std::string trimmedDataType() const;

    // The value as a fan speed: "flt" is a 32-bit little-endian IEEE float, "fpe2" a big-endian
    // 16-bit fixed-point value with two fraction bits, any other type a big-endian 16-bit
    // integer. Too few bytes, or a float that is not finite, give no speed.
    std::optional<double> rpmValue() const;

    // A float-typed value holding the float nearest to the given speed, least significant byte
    // first; key, type and size are kept. Other types, and a speed that is not a number, come
    // back unchanged: only float targets are ever encoded.
    SMCValue replacingRPM(double rpm) const;

    // The same key, type and size with other bytes (the one-byte mode key).
    SMCValue replacingBytes(std::vector<std::uint8_t> newBytes) const;
};

} // namespace aerivo
