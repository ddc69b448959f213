#pragma once

#include "platform/services/IOKitPort.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace aerivo {

// The machine as the I/O registry names it: the model identifier ("Mac17,2") and the marketing
// name. Either may be absent when the registry does not say.
struct MacHardwareModel {
    std::optional<std::string> identifier;
    std::optional<std::string> productName;

    // "model" and "product-name", each from the device-tree root, else from the platform-expert
    // service. A property that is empty once trimmed counts as missing, so the second entry is
    // asked in its place.
    static MacHardwareModel current(IOKitPort& port);

    // A registry property as text: a string with control characters trimmed from both ends, or
    // data cut at its first zero byte, read as UTF-8 (nothing if it is not) and trimmed the same
    // way. Nothing for a missing property, and for one that is empty after trimming.
    static std::optional<std::string> registryString(IOKitPort& port, std::string_view key,
                                                     RegistryEntry entry);
    static std::optional<std::string> registryStringFromText(std::string_view text);
    static std::optional<std::string> registryStringFromData(const std::vector<std::uint8_t>& data);

    friend bool operator==(const MacHardwareModel&, const MacHardwareModel&) = default;
};

} // namespace aerivo
