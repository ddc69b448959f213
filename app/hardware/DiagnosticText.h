#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Small UTF-8 text tools shared by the diagnostic parsers of this folder. They never throw and
// accept any bytes: a byte that does not start a valid UTF-8 sequence counts as one code point
// U+FFFD, so it is never white space, a line break or a control character.
namespace aerivo::diagnostic_text {

struct DecodedCodePoint {
    char32_t value = 0;
    std::size_t length = 1; // bytes taken, at least 1
};
DecodedCodePoint decodeAt(std::string_view text, std::size_t position);
// The code point ending right before `end` (end > 0).
DecodedCodePoint decodeBefore(std::string_view text, std::size_t end);
bool isValidUTF8(std::string_view text);

// Line breaks: LF, VT, FF, CR, NEL (U+0085), LINE SEPARATOR and PARAGRAPH SEPARATOR.
bool isLineBreak(char32_t c);
// Unicode white space (including the line breaks).
bool isWhitespace(char32_t c);
// General categories Cc and Cf.
bool isControl(char32_t c);

// The text cut at every line break, empty lines dropped (so CR LF gives one break).
std::vector<std::string_view> nonEmptyLines(std::string_view text);
std::string_view trimWhitespace(std::string_view text);
std::string_view trimControlCharacters(std::string_view text);
// The first run of non-white-space code points (empty when there is none).
std::string_view firstToken(std::string_view text);

// The whole text as a decimal number: optional sign, digits with an optional fraction and
// exponent ("1250", "-0.5", "+1e3", ".5"). Not-a-number, infinity and values beyond the double
// range give nothing, as does any surrounding white space.
std::optional<double> parseFiniteDouble(std::string_view text);
// The whole text as an optionally signed decimal integer that fits 64 bits.
std::optional<std::int64_t> parseInteger(std::string_view text);

} // namespace aerivo::diagnostic_text
