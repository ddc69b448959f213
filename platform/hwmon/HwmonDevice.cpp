#include "platform/hwmon/HwmonDevice.h"

#include "platform/hwmon/HwmonAttribute.h"
#include "shared/Utf8.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <utility>

namespace aerivo {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t maximumLabelBytes = 64;

// "<prefix><number><suffix>" with a decimal number of at most six digits; the number, else none.
std::optional<int> numberBetween(std::string_view name, std::string_view prefix,
                                 std::string_view suffix) {
    if (!name.starts_with(prefix) || !name.ends_with(suffix) ||
        name.size() <= prefix.size() + suffix.size()) {
        return std::nullopt;
    }
    const std::string_view digits =
        name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
    if (digits.size() > 6 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    int value = 0;
    std::from_chars(digits.data(), digits.data() + digits.size(), value);
    return value;
}

// The hwmonN entries of the class folder, by N.
std::vector<std::pair<int, fs::path>> classEntries(const fs::path& root) {
    std::vector<std::pair<int, fs::path>> entries;
    std::error_code error;
    for (fs::directory_iterator it(root / "sys/class/hwmon", error), end; !error && it != end;
         it.increment(error)) {
        if (const auto number = numberBetween(it->path().filename().string(), "hwmon", "")) {
            entries.emplace_back(*number, it->path());
        }
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}

// The folder of a class entry that holds its "name", and that name.
std::optional<std::pair<fs::path, std::string>> namedFolder(const fs::path& entry) {
    for (const fs::path& folder : {entry, entry / "device"}) {
        const auto read = HwmonAttribute::readText(folder / "name");
        if (const auto* name = std::get_if<std::string>(&read)) {
            return std::make_pair(folder, *name);
        }
    }
    return std::nullopt;
}

std::optional<HwmonDriver> driverForChip(std::string_view chip) {
    if (chip == "macsmc_hwmon") {
        return HwmonDriver::macsmc;
    }
    if (chip == "applesmc") {
        return HwmonDriver::applesmc;
    }
    return std::nullopt;
}

std::size_t utf8SequenceLength(unsigned char lead) {
    if (lead < 0x80) {
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        return 2;
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
        return 3;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        return 4;
    }
    return 0;
}

// C0 and C1 controls, DEL, and the Unicode line and paragraph separators.
bool isControl(std::string_view character) {
    const auto first = static_cast<unsigned char>(character[0]);
    if (character.size() == 1) {
        return first < 0x20 || first == 0x7F;
    }
    const auto second = static_cast<unsigned char>(character[1]);
    if (character.size() == 2) {
        return first == 0xC2 && second < 0xA0;
    }
    return character == "\u2028" || character == "\u2029";
}

} // namespace

HwmonDevice::HwmonDevice(HwmonDriver driver, std::string chipName, fs::path classPath,
                         fs::path attributeFolder, fs::path root, const HwmonAttributeFiles& files)
    : driver_(driver), chipName_(std::move(chipName)), classPath_(std::move(classPath)),
      attributeFolder_(std::move(attributeFolder)), root_(std::move(root)), files_(&files) {}

std::optional<HwmonDevice> HwmonDevice::find(const fs::path& root,
                                             const HwmonAttributeFiles& files) {
    for (const auto& [number, entry] : classEntries(root)) {
        const auto named = namedFolder(entry);
        if (!named) {
            continue;
        }
        if (const auto driver = driverForChip(named->second)) {
            return HwmonDevice(*driver, named->second, entry, named->first, root, files);
        }
    }
    return std::nullopt;
}

std::vector<HwmonTemperatureSensor> HwmonDevice::temperatureSensors(const fs::path& root) {
    std::vector<HwmonTemperatureSensor> sensors;
    for (const auto& [number, entry] : classEntries(root)) {
        const auto named = namedFolder(entry);
        if (!named) {
            continue;
        }
        std::vector<int> numbers;
        std::error_code error;
        for (fs::directory_iterator it(named->first, error), end; !error && it != end;
             it.increment(error)) {
            if (const auto sensor =
                    numberBetween(it->path().filename().string(), "temp", "_input")) {
                numbers.push_back(*sensor);
            }
        }
        std::sort(numbers.begin(), numbers.end());
        const std::string chip = safeLabel(named->second);
        for (const int sensor : numbers) {
            const std::string prefix = "temp" + std::to_string(sensor);
            std::string product;
            const auto label = HwmonAttribute::readText(named->first / (prefix + "_label"));
            if (const auto* text = std::get_if<std::string>(&label)) {
                product = safeLabel(*text);
            }
            if (product.empty()) {
                product = (chip.empty() ? std::string("hwmon") : chip) + " " + prefix;
            }
            sensors.push_back({named->first / (prefix + "_input"), std::move(product)});
        }
    }
    return sensors;
}

std::string HwmonDevice::safeLabel(std::string_view label) {
    std::string cleaned;
    bool pendingSpace = false;
    for (std::size_t at = 0; at < label.size();) {
        std::size_t length = utf8SequenceLength(static_cast<unsigned char>(label[at]));
        std::string_view character;
        if (length != 0 && at + length <= label.size() && isValidUtf8(label.substr(at, length))) {
            character = label.substr(at, length);
        } else {
            length = 1;
        }
        at += length;
        if (character.empty() || isControl(character) || character == " ") {
            pendingSpace = !cleaned.empty();
            continue;
        }
        const std::size_t needed = character.size() + (pendingSpace ? 1 : 0);
        if (cleaned.size() + needed > maximumLabelBytes) {
            break;
        }
        if (pendingSpace) {
            cleaned += ' ';
            pendingSpace = false;
        }
        cleaned += character;
    }
    return cleaned;
}

int HwmonDevice::fanCount() const {
    int count = 0;
    while (count < maximumFans && HwmonAttribute::exists(fanAttribute(count + 1, "input"))) {
        ++count;
    }
    return count;
}

fs::path HwmonDevice::fanAttribute(int number, std::string_view suffix) const {
    return attributeFolder_ / ("fan" + std::to_string(number) + "_" + std::string(suffix));
}

fs::path HwmonDevice::targetAttribute(int number) const {
    return fanAttribute(number, driver_ == HwmonDriver::macsmc ? "target" : "output");
}

std::optional<bool> HwmonDevice::fanControlParameter() const {
    const auto read = files_->readText(root_ / "sys/module/macsmc_hwmon/parameters/fan_control");
    const auto* text = std::get_if<std::string>(&read);
    if (text == nullptr || text->empty()) {
        return std::nullopt;
    }
    if (*text == "Y" || *text == "1") {
        return true;
    }
    if (*text == "N" || *text == "0") {
        return false;
    }
    return std::nullopt;
}

HwmonDevice::WriteSupport HwmonDevice::fanWriteSupport() const {
    if (fanCount() == 0) {
        return {false, chipName_ + " reports no fan"};
    }
    return driver_ == HwmonDriver::macsmc ? macsmcWriteSupport() : applesmcWriteSupport();
}

HwmonDevice::WriteSupport HwmonDevice::macsmcWriteSupport() const {
    const fs::path target = targetAttribute(1);
    const std::string name = target.filename().string();
    if (!HwmonAttribute::exists(target)) {
        return {false, chipName_ + " has no " + name + ", so it cannot set the fan's speed"};
    }
    const std::optional<bool> fanControl = fanControlParameter();
    if (!HwmonAttribute::hasWriteBit(target)) {
        if (fanControl == true) {
            // macsmc_hwmon_fan_is_visible decides the mode once, when the device registers.
            return {false, name + " is read-only although fan_control is Y now: " + chipName_ +
                               " sets the file's mode when it binds, so rebind the device (or "
                               "reload the module) to make it writable"};
        }
        if (fanControl == false) {
            return {false,
                    name + " is read-only: " + chipName_ + " was loaded without fan_control=1"};
        }
        return {false, name + " is read-only"};
    }
    if (fanControl == false) {
        return {false, "fan_control was turned off after " + chipName_ +
                           " was loaded: the driver refuses every fan write, 0 included"};
    }
    const auto minimum = files_->readInteger(fanAttribute(1, "min"));
    if (!minimum) {
        return {false, "fan1_min cannot be read, and " + chipName_ +
                           " checks every written speed against it"};
    }
    if (*minimum <= 0) {
        return {false, "fan1_min is 0: " + chipName_ +
                           " would take a written 0 as a speed, so it could never hand the fan "
                           "back to the SMC"};
    }
    return {true, name + " is writable"};
}

HwmonDevice::WriteSupport HwmonDevice::applesmcWriteSupport() const {
    const std::string names[] = {"fan1_manual", targetAttribute(1).filename().string()};
    for (const std::string& name : names) {
        const fs::path file = attributeFolder_ / name;
        if (!HwmonAttribute::exists(file)) {
            return {false, chipName_ + " has no " + name + ", so it cannot set the fan's speed"};
        }
        if (!HwmonAttribute::hasWriteBit(file)) {
            return {false, name + " is read-only"};
        }
        // applesmc reads and writes these keys as 2-byte values; on Macs whose fan keys are
        // 4-byte floats every access fails with EINVAL, writes included.
        const auto read = files_->readText(file);
        if (const int* error = std::get_if<int>(&read)) {
            return {false, name + " cannot be read (" + std::string(std::strerror(*error)) +
                               "): " + chipName_ +
                               " cannot drive this Mac's fans (its fan keys are not in the "
                               "format the driver reads)"};
        }
    }
    return {true, names[0] + " and " + names[1] + " are writable"};
}

} // namespace aerivo
