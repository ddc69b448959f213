#include "shared/SMCKeyCodec.h"

namespace aerivo {

std::uint32_t smcKeyCode(std::string_view key) {
    std::uint32_t code = 0;
    for (const char c : key) {
        code = (code << 8) | static_cast<std::uint8_t>(c);
    }
    return code;
}

std::string fourCharacterString(std::uint32_t code) {
    std::string text;
    text.reserve(4);
    for (int shift = 24; shift >= 0; shift -= 8) {
        const auto byte = static_cast<std::uint8_t>((code >> shift) & 0xFFU);
        if (byte >= 0x80) {
            return {};
        }
        text.push_back(static_cast<char>(byte));
    }
    return text;
}

std::string displayKey(std::string_view key) {
    std::string text;
    text.reserve(key.size());
    for (const char c : key) {
        if (c == ' ') {
            text += "<space>";
        } else {
            text.push_back(c);
        }
    }
    return text;
}

} // namespace aerivo
