#include "platform/hwmon/HwmonIOKit.h"

#include "platform/hwmon/HwmonAttribute.h"
#include "platform/services/SMCServiceConnection.h"

namespace aerivo {

namespace fs = std::filesystem;

namespace {

// The first NUL-terminated entry of a device-tree property, or its whole text.
std::optional<std::string> firmwareText(const fs::path& file) {
    const auto read = HwmonAttribute::readText(file);
    const auto* text = std::get_if<std::string>(&read);
    if (text == nullptr) {
        return std::nullopt;
    }
    std::string value = text->substr(0, text->find('\0'));
    value = HwmonDevice::safeLabel(value);
    if (value.empty()) {
        return std::nullopt;
    }
    return value;
}

} // namespace

std::unique_ptr<HwmonIOKit> HwmonIOKit::open(const fs::path& root, const fs::path& modeRecordFolder,
                                             const HwmonFanWriterFactory& writers,
                                             const HwmonAttributeFiles& files) {
    auto device = HwmonDevice::find(root, files);
    if (!device) {
        return nullptr;
    }
    HwmonManualModeRecord record(modeRecordFolder, device->classPath().filename().string());
    std::unique_ptr<HwmonFanWriting> writer = writers ? writers(*device, record) : nullptr;
    return std::unique_ptr<HwmonIOKit>(
        new HwmonIOKit(HwmonSMCKeyTable(std::move(*device), std::move(record), std::move(writer))));
}

HwmonIOKit::HwmonIOKit(HwmonSMCKeyTable table)
    : table_(std::move(table)),
      serviceClassName_(table_.device().driver() == HwmonDriver::macsmc ? "AppleSMCKeysEndpoint"
                                                                        : "AppleSMC") {}

std::string HwmonIOKit::shownClassPath() const {
    const fs::path relative = device().classPath().lexically_relative(device().root());
    return (fs::path("/") / relative).lexically_normal().string();
}

std::string HwmonIOKit::description() const {
    return "hwmon " + device().chipName() + " " + shownClassPath();
}

std::string HwmonIOKit::fanWriteSupportText() const {
    const HwmonDevice::WriteSupport support = device().fanWriteSupport();
    return (support.isAvailable ? "available: " : "unavailable: ") + support.text;
}

IOObjectHandle HwmonIOKit::matchingService(std::string_view className) {
    return className == serviceClassName_ ? serviceHandle : 0;
}

IOServiceMatches HwmonIOKit::matchingServices(std::string_view className) {
    if (className == serviceClassName_) {
        return {kIOReturnSuccess, {serviceHandle}};
    }
    return {kIOReturnSuccess, {}};
}

std::optional<std::string> HwmonIOKit::stringProperty(IOObjectHandle entry, std::string_view name) {
    if (entry != serviceHandle) {
        return std::nullopt;
    }
    if (name == "IOClass") {
        return device().chipName();
    }
    if (name == "HwmonDevice") {
        return shownClassPath();
    }
    if (name == "FanWriteSupport") {
        return fanWriteSupportText();
    }
    return std::nullopt;
}

IOServiceOpenResult HwmonIOKit::openService(IOObjectHandle service, std::uint32_t type) {
    if (service != serviceHandle) {
        return {kIOReturnBadArgument, 0};
    }
    if (type != smcUserClientType) {
        return {kIOReturnUnsupported, 0};
    }
    std::lock_guard lock(mutex_);
    const IOConnectHandle connection = nextConnection_++;
    connections_.insert(connection);
    return {kIOReturnSuccess, connection};
}

KernReturn HwmonIOKit::callStructMethod(IOConnectHandle connection, std::uint32_t selector,
                                        const IOStructMethodRecord& input,
                                        IOStructMethodRecord& output) {
    std::lock_guard lock(mutex_);
    if (connections_.count(connection) == 0) {
        return kIOReturnNotOpen;
    }
    if (selector != smcStructMethodSelector) {
        return kIOReturnBadArgument;
    }
    SMCKeyData answer;
    const KernReturn result = table_.execute(SMCKeyData::fromImage(input), answer);
    if (result == kIOReturnSuccess) {
        output = answer.image();
    }
    return result;
}

KernReturn HwmonIOKit::closeService(IOConnectHandle connection) {
    std::lock_guard lock(mutex_);
    return connections_.erase(connection) == 1 ? kIOReturnSuccess : kIOReturnBadArgument;
}

KernReturn HwmonIOKit::releaseObject(IOObjectHandle object) {
    return object == serviceHandle ? kIOReturnSuccess : kIOReturnBadArgument;
}

std::optional<std::string> HwmonIOKit::registryText(std::string_view name) const {
    const fs::path& root = device().root();
    const fs::path deviceTree = root / "sys/firmware/devicetree/base";
    const fs::path dmi = root / "sys/class/dmi/id";
    if (name == "model") {
        if (auto product = firmwareText(dmi / "product_name")) {
            return product;
        }
        return firmwareText(deviceTree / "compatible");
    }
    if (name == "product-name") {
        if (auto model = firmwareText(deviceTree / "model")) {
            return model;
        }
        return firmwareText(dmi / "product_family");
    }
    return std::nullopt;
}

std::optional<std::vector<std::uint8_t>> HwmonIOKit::registryProperty(RegistryEntry,
                                                                      std::string_view name) {
    const auto text = registryText(name);
    if (!text) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes(text->begin(), text->end());
    bytes.push_back(0);
    return bytes;
}

std::optional<std::string> HwmonIOKit::registryStringProperty(RegistryEntry, std::string_view) {
    // The Mac keeps both properties as data, never as strings.
    return std::nullopt;
}

} // namespace aerivo
