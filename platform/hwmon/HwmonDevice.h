#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace aerivo {

// The kernel drivers that expose a Mac's SMC fans through hwmon.
enum class HwmonDriver {
    // Apple Silicon: fanX_input, fanX_min, fanX_max and fanX_target, the last writable only when
    // the driver was loaded with its fan_control parameter set. Writing a speed takes the fan
    // under manual control; writing 0 returns it to the SMC's own control.
    macsmc,
    // Intel: fanX_input, fanX_min, fanX_max, fanX_output (the target) and fanX_manual (0 or 1).
    applesmc,
};

// One temperature attribute of any hwmon device, with the text that names it.
struct HwmonTemperatureSensor {
    std::filesystem::path input; // tempX_input, millidegrees Celsius
    std::string product;         // the label made safe, or "<chip> temp<X>" without one

    bool operator==(const HwmonTemperatureSensor&) const = default;
};

// The hwmon device of the SMC, found under <root>/sys/class/hwmon. A device keeps its attributes
// in its own folder or, for drivers on the older registration, in its "device" folder; the
// folder holding "name" is the one used. Fans are numbered from 1 as hwmon numbers them.
class HwmonDevice {
public:
    // SMC key names carry one digit for the fan, so at most fans 1 to 10 are presented.
    static constexpr int maximumFans = 10;

    // The first device, in hwmon number order, whose chip name belongs to a supported driver.
    static std::optional<HwmonDevice> find(const std::filesystem::path& root);
    // Every temperature sensor of every device, by hwmon number, then sensor number.
    static std::vector<HwmonTemperatureSensor>
    temperatureSensors(const std::filesystem::path& root);

    // A label as a product name: invalid UTF-8 and control characters become spaces, runs of
    // white space one space, both ends trimmed, at most 64 bytes (cut at a character boundary).
    static std::string safeLabel(std::string_view label);

    HwmonDriver driver() const { return driver_; }
    // The chip name the driver gave ("macsmc_hwmon", "applesmc").
    const std::string& chipName() const { return chipName_; }
    // /sys/class/hwmon/hwmonN under the root, as the reports show it.
    const std::filesystem::path& classPath() const { return classPath_; }
    // The folder whose files are the attributes.
    const std::filesystem::path& attributeFolder() const { return attributeFolder_; }
    const std::filesystem::path& root() const { return root_; }

    // Fans 1, 2, ... for as long as fanX_input exists, at most maximumFans.
    int fanCount() const;
    // "fan<number>_<suffix>" in the attribute folder.
    std::filesystem::path fanAttribute(int number, std::string_view suffix) const;
    // The attribute that holds the fan's target speed: fanX_target or fanX_output.
    std::filesystem::path targetAttribute(int number) const;

    // Whether the driver lets the fan be driven (the attributes exist and carry a write bit), and
    // if not, why, in a sentence a user can act on. Only fan 1 (SMC fan 0) is ever driven.
    struct WriteSupport {
        bool isAvailable = false;
        std::string text;

        bool operator==(const WriteSupport&) const = default;
    };
    WriteSupport fanWriteSupport() const;

private:
    HwmonDevice(HwmonDriver driver, std::string chipName, std::filesystem::path classPath,
                std::filesystem::path attributeFolder, std::filesystem::path root);

    // "Y"/"N" of /sys/module/macsmc_hwmon/parameters/fan_control; nothing when unreadable.
    std::optional<bool> fanControlParameter() const;

    HwmonDriver driver_;
    std::string chipName_;
    std::filesystem::path classPath_;
    std::filesystem::path attributeFolder_;
    std::filesystem::path root_;
};

} // namespace aerivo
