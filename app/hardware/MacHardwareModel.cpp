#include "app/hardware/MacHardwareModel.h"

#include "app/hardware/DiagnosticText.h"

#include <algorithm>

namespace aerivo {

namespace text = diagnostic_text;

std::optional<std::string> MacHardwareModel::registryStringFromText(std::string_view value) {
    if (!text::isValidUTF8(value)) {
        return std::nullopt;
    }
    const std::string_view trimmed = text::trimControlCharacters(value);
    if (trimmed.empty()) {
        return std::nullopt;
    }
    return std::string(trimmed);
}

std::optional<std::string>
MacHardwareModel::registryStringFromData(const std::vector<std::uint8_t>& data) {
    const auto zero = std::find(data.begin(), data.end(), std::uint8_t{0});
    const std::string bytes(data.begin(), zero);
    return registryStringFromText(bytes);
}

std::optional<std::string> MacHardwareModel::registryString(IOKitPort& port, std::string_view key,
                                                            RegistryEntry entry) {
    if (const std::optional<std::string> value = port.registryStringProperty(entry, key)) {
        return registryStringFromText(*value);
    }
    if (const std::optional<std::vector<std::uint8_t>> data = port.registryProperty(entry, key)) {
        return registryStringFromData(*data);
    }
    return std::nullopt;
}

MacHardwareModel MacHardwareModel::current(IOKitPort& port) {
    // The port addresses both entries by name and holds no handle open between calls, so there
    // is nothing to release here.
    const auto read = [&port](std::string_view key) {
        std::optional<std::string> value = registryString(port, key, RegistryEntry::deviceTreeRoot);
        if (!value) {
            value = registryString(port, key, RegistryEntry::platformExpert);
        }
        return value;
    };
    return MacHardwareModel{.identifier = read("model"), .productName = read("product-name")};
}

} // namespace aerivo
