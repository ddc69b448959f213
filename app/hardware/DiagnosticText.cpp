#include "app/hardware/DiagnosticText.h"

#include "shared/Utf8.h"

#include <charconv>
#include <cmath>
#include <system_error>

namespace aerivo::diagnostic_text {

namespace {

constexpr char32_t replacementCharacter = 0xFFFD;

bool isContinuation(unsigned char byte) {
    return (byte & 0xC0U) == 0x80U;
}

} // namespace

DecodedCodePoint decodeAt(std::string_view text, std::size_t position) {
    const auto lead = static_cast<unsigned char>(text[position]);
    if (lead < 0x80U) {
        return {lead, 1};
    }
    std::size_t length = 0;
    char32_t value = 0;
    char32_t smallest = 0;
    if ((lead & 0xE0U) == 0xC0U) {
        length = 2;
        value = lead & 0x1FU;
        smallest = 0x80;
    } else if ((lead & 0xF0U) == 0xE0U) {
        length = 3;
        value = lead & 0x0FU;
        smallest = 0x800;
    } else if ((lead & 0xF8U) == 0xF0U) {
        length = 4;
        value = lead & 0x07U;
        smallest = 0x10000;
    } else {
        return {replacementCharacter, 1};
    }
    if (text.size() - position < length) {
        return {replacementCharacter, 1};
    }
    for (std::size_t i = 1; i < length; ++i) {
        const auto byte = static_cast<unsigned char>(text[position + i]);
        if (!isContinuation(byte)) {
            return {replacementCharacter, 1};
        }
        value = (value << 6U) | (byte & 0x3FU);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
    if (value < smallest || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
        return {replacementCharacter, 1};
    }
    return {value, length};
}

DecodedCodePoint decodeBefore(std::string_view text, std::size_t end) {
    // A code point is at most four bytes long: try the longest valid sequence ending at `end`.
    for (std::size_t length = 2; length <= 4 && length <= end; ++length) {
        const std::size_t start = end - length;
        if (isContinuation(static_cast<unsigned char>(text[start]))) {
            continue;
        }
        const DecodedCodePoint decoded = decodeAt(text, start);
        if (decoded.length == length) {
            return decoded;
        }
        break;
    }
    const auto byte = static_cast<unsigned char>(text[end - 1]);
    return {byte < 0x80U ? char32_t{byte} : replacementCharacter, 1};
}

bool isValidUTF8(std::string_view text) {
    return isValidUtf8(text);
}

bool isLineBreak(char32_t c) {
    return (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029;
}

bool isWhitespace(char32_t c) {
    return c == 0x09 || c == 0x20 || isLineBreak(c) || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x202F || c == 0x205F || c == 0x3000;
}

bool isControl(char32_t c) {
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) {
        return true; // Cc
    }
    // Cf
    return c == 0xAD || (c >= 0x600 && c <= 0x605) || c == 0x61C || c == 0x6DD || c == 0x70F ||
           c == 0x890 || c == 0x891 || c == 0x8E2 || c == 0x180E || (c >= 0x200B && c <= 0x200F) ||
           (c >= 0x202A && c <= 0x202E) || (c >= 0x2060 && c <= 0x2064) ||
           (c >= 0x2066 && c <= 0x206F) || c == 0xFEFF || (c >= 0xFFF9 && c <= 0xFFFB) ||
           c == 0x110BD || c == 0x110CD || (c >= 0x13430 && c <= 0x1343F) ||
           (c >= 0x1BCA0 && c <= 0x1BCA3) || (c >= 0x1D173 && c <= 0x1D17A) || c == 0xE0001 ||
           (c >= 0xE0020 && c <= 0xE007F);
}

std::vector<std::string_view> nonEmptyLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    std::size_t position = 0;
    while (position < text.size()) {
        const DecodedCodePoint decoded = decodeAt(text, position);
        if (isLineBreak(decoded.value)) {
            if (position > start) {
                lines.push_back(text.substr(start, position - start));
            }
            start = position + decoded.length;
        }
        position += decoded.length;
    }
    if (start < text.size()) {
        lines.push_back(text.substr(start));
    }
    return lines;
}

namespace {

template <typename Predicate> std::string_view trimmed(std::string_view text, Predicate drop) {
    std::size_t start = 0;
    while (start < text.size()) {
        const DecodedCodePoint decoded = decodeAt(text, start);
        if (!drop(decoded.value)) {
            break;
        }
        start += decoded.length;
    }
    std::size_t end = text.size();
    while (end > start) {
        const DecodedCodePoint decoded = decodeBefore(text, end);
        if (!drop(decoded.value)) {
            break;
        }
        end -= decoded.length;
    }
    return text.substr(start, end - start);
}

} // namespace

std::string_view trimWhitespace(std::string_view text) {
    return trimmedWhitespaceAndNewlines(text);
}

std::string_view trimControlCharacters(std::string_view text) {
    return trimmed(text, isControl);
}

std::string_view firstToken(std::string_view text) {
    std::size_t start = 0;
    while (start < text.size()) {
        const DecodedCodePoint decoded = decodeAt(text, start);
        if (!isWhitespace(decoded.value)) {
            break;
        }
        start += decoded.length;
    }
    std::size_t end = start;
    while (end < text.size()) {
        const DecodedCodePoint decoded = decodeAt(text, end);
        if (isWhitespace(decoded.value)) {
            break;
        }
        end += decoded.length;
    }
    return text.substr(start, end - start);
}

namespace {

// from_chars takes no '+' and reads "inf"/"nan": keep to the plain decimal forms.
bool isPlainDecimalNumber(std::string_view text) {
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        ++i;
    }
    bool digits = false;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        ++i;
        digits = true;
    }
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            ++i;
            digits = true;
        }
    }
    if (!digits) {
        return false;
    }
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
            ++i;
        }
        bool exponentDigits = false;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            ++i;
            exponentDigits = true;
        }
        if (!exponentDigits) {
            return false;
        }
    }
    return i == text.size();
}

} // namespace

std::optional<double> parseFiniteDouble(std::string_view text) {
    if (!isPlainDecimalNumber(text)) {
        return std::nullopt;
    }
    if (text.front() == '+') {
        text.remove_prefix(1);
    }
    double value = 0;
    const char* end = text.data() + text.size();
    const auto [consumed, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc{} || consumed != end || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::int64_t> parseInteger(std::string_view text) {
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && text.front() == '-') {
            return std::nullopt;
        }
    }
    if (text.empty()) {
        return std::nullopt;
    }
    std::int64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [consumed, error] = std::from_chars(text.data(), end, value, 10);
    if (error != std::errc{} || consumed != end) {
        return std::nullopt;
    }
    return value;
}

} // namespace aerivo::diagnostic_text
