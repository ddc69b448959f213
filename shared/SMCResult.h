#pragma once

#include <cstdint>

namespace aerivo {

// SMC result bytes (the `result` field of the call record) that the substitute controllers
// answer with. 0 is success; an unknown key answers 132 as on the Mac.
namespace SMCResult {
inline constexpr std::uint8_t success = 0;
inline constexpr std::uint8_t badCommand = 0x82;
inline constexpr std::uint8_t keyNotFound = 0x84; // 132
inline constexpr std::uint8_t keyNotReadable = 0x85;
inline constexpr std::uint8_t keyNotWritable = 0x86;
inline constexpr std::uint8_t keySizeMismatch = 0x87;
inline constexpr std::uint8_t badArgument = 0x89;
inline constexpr std::uint8_t keyIndexOutOfRange = 0xB8;
} // namespace SMCResult

} // namespace aerivo
