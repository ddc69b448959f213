#pragma once

#include <string_view>

namespace aerivo {

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool isValidUtf8(std::string_view bytes);

} // namespace aerivo

namespace aerivo {

// Removes white space and line breaks from both ends: ASCII tab, line feed, vertical tab, form
// feed, carriage return and space, and the Unicode spaces and separators (U+0085, U+00A0,
// U+1680, U+2000–U+200A, U+2028, U+2029, U+202F, U+205F, U+3000).
std::string_view trimmedWhitespaceAndNewlines(std::string_view text);

} // namespace aerivo
