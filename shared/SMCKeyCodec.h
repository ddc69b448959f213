#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace aerivo {

// A four-character SMC key (or data type) packed into 32 bits, first character in the most
// significant byte: "F0Tg" is 0x46305467. Every byte of the text is shifted in; bits shifted out
// of 32 are dropped, so only the last four bytes of a longer text count.
std::uint32_t smcKeyCode(std::string_view key);

// The four bytes of a code, most significant first, as ASCII text. Zero bytes stay in the text;
// a byte of 128 or more gives the empty text.
std::string fourCharacterString(std::uint32_t code);

// The key as diagnostics show it: every blank written as "<space>" ("FS! " -> "FS!<space>").
std::string displayKey(std::string_view key);

} // namespace aerivo
