#include "app/hardware/KnownMacFanCatalog.h"

#include "app/hardware/DiagnosticText.h"

#include <vector>

namespace aerivo {

namespace {

// Simple case folding restricted to what can fold onto ASCII; anything else is returned as is
// and so never equals an ASCII needle character.
char32_t foldedTowardASCII(char32_t c) {
    if (c >= U'A' && c <= U'Z') {
        return c - U'A' + U'a';
    }
    if (c == 0x017F) { // LATIN SMALL LETTER LONG S
        return U's';
    }
    if (c == 0x212A) { // KELVIN SIGN
        return U'k';
    }
    return c;
}

} // namespace

bool KnownMacFanCatalog::containsIgnoringCase(std::string_view text, std::string_view asciiNeedle) {
    std::vector<char32_t> needle;
    needle.reserve(asciiNeedle.size());
    for (char c : asciiNeedle) {
        needle.push_back(foldedTowardASCII(static_cast<unsigned char>(c)));
    }
    if (needle.empty()) {
        return true;
    }
    std::vector<char32_t> haystack;
    haystack.reserve(text.size());
    for (std::size_t position = 0; position < text.size();) {
        const diagnostic_text::DecodedCodePoint decoded = diagnostic_text::decodeAt(text, position);
        haystack.push_back(foldedTowardASCII(decoded.value));
        position += decoded.length;
    }
    for (std::size_t start = 0; start + needle.size() <= haystack.size(); ++start) {
        bool matches = true;
        for (std::size_t i = 0; i < needle.size(); ++i) {
            if (haystack[start + i] != needle[i]) {
                matches = false;
                break;
            }
        }
        if (matches) {
            return true;
        }
    }
    return false;
}

bool KnownMacFanCatalog::isUnsupportedAir(const MacHardwareModel& model) {
    if (model.identifier && model.identifier->starts_with("MacBookAir")) {
        return true;
    }
    return model.productName && containsIgnoringCase(*model.productName, "MacBook Air");
}

std::optional<FanHardwareCapabilities>
KnownMacFanCatalog::fallbackCapabilities(const MacHardwareModel& model) {
    if (isUnsupportedAir(model)) {
        return FanHardwareCapabilities(0, std::nullopt, std::nullopt, std::nullopt,
                                       std::string(fanlessSource), {},
                                       FanHardwareSupportStatus::unsupportedNoFan);
    }
    if (model.identifier == "Mac17,2") {
        const std::string source(presetSource);
        FanHardwareFan fan{
            .index = 0,
            .displayName = "Fan 0",
            .minimumRPM = 2500.0,
            .maximumRPM = 6550.0,
            .currentRPM = std::nullopt,
            .source = source,
        };
        return FanHardwareCapabilities(1, 2500.0, 6550.0, std::nullopt, source, {std::move(fan)},
                                       FanHardwareSupportStatus::supported);
    }
    return std::nullopt;
}

} // namespace aerivo
