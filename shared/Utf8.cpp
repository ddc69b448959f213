#include "shared/Utf8.h"

#include <cstdint>

namespace aerivo {

bool isValidUtf8(std::string_view bytes) {
    std::size_t i = 0;
    const std::size_t n = bytes.size();
    while (i < n) {
        const auto lead = static_cast<std::uint8_t>(bytes[i]);
        if (lead < 0x80) {
            ++i;
            continue;
        }
        std::size_t length = 0;
        std::uint32_t codePoint = 0;
        if ((lead & 0xE0) == 0xC0) {
            length = 2;
            codePoint = lead & 0x1F;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3;
            codePoint = lead & 0x0F;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4;
            codePoint = lead & 0x07;
        } else {
            return false;
        }
        if (n - i < length) {
            return false;
        }
        for (std::size_t j = 1; j < length; ++j) {
            const auto next = static_cast<std::uint8_t>(bytes[i + j]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            codePoint = (codePoint << 6) | (next & 0x3F);
        }
        const bool overlong = (length == 2 && codePoint < 0x80) ||
                              (length == 3 && codePoint < 0x800) ||
                              (length == 4 && codePoint < 0x10000);
        const bool surrogate = codePoint >= 0xD800 && codePoint <= 0xDFFF;
        if (overlong || surrogate || codePoint > 0x10FFFF) {
            return false;
        }
        i += length;
    }
    return true;
}

} // namespace aerivo

namespace aerivo {

namespace {

// Length of the white-space character starting at `at`, or 0.
std::size_t spaceAt(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[at + i]); };
    const std::size_t left = text.size() - at;
    const std::uint8_t b0 = byte(0);
    if (b0 == ' ' || (b0 >= 0x09 && b0 <= 0x0D)) {
        return 1;
    }
    if (left >= 2 && b0 == 0xC2 && (byte(1) == 0x85 || byte(1) == 0xA0)) {
        return 2;
    }
    if (left >= 3) {
        const std::uint32_t c = (std::uint32_t{b0} << 16) | (std::uint32_t{byte(1)} << 8) | byte(2);
        const bool generalSpace = c >= 0xE28080 && c <= 0xE2808A; // U+2000..U+200A
        if (generalSpace || c == 0xE19A80 || c == 0xE280A8 || c == 0xE280A9 || c == 0xE280AF ||
            c == 0xE2819F || c == 0xE38080) {
            return 3;
        }
    }
    return 0;
}

// Length of the white-space character ending just before `end`, or 0.
std::size_t spaceBefore(std::string_view text, std::size_t end) {
    for (std::size_t length = 1; length <= 3 && length <= end; ++length) {
        if (spaceAt(text, end - length) == length) {
            return length;
        }
    }
    return 0;
}

} // namespace

std::string_view trimmedWhitespaceAndNewlines(std::string_view text) {
    std::size_t begin = 0;
    while (begin < text.size()) {
        const std::size_t length = spaceAt(text, begin);
        if (length == 0) {
            break;
        }
        begin += length;
    }
    std::size_t end = text.size();
    while (end > begin) {
        const std::size_t length = spaceBefore(text.substr(0, end), end);
        if (length == 0 || end - length < begin) {
            break;
        }
        end -= length;
    }
    return text.substr(begin, end - begin);
}

} // namespace aerivo
