#pragma once

#include "platform/hwmon/HwmonAttribute.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace aerivo {

// The kernel drivers that expose a Mac's SMC fans through hwmon.
enum class HwmonDriver {
    // Apple Silicon (chip "macsmc_hwmon"): fanX_input, fanX_min, fanX_max and fanX_target, the
    // last writable (0644) only when fan_control was set at the time the driver bound. A speed
    // in fanX_min...fanX_max takes the fan under manual control; 0 returns it to the SMC's own
    // control, but only while the driver's in-memory manual flag is set (see HwmonFanWriter).
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

    // The first device, in hwmon number order, whose chip name is exactly a supported driver's
    // ("macsmc_hwmon", "applesmc"): the power-supply core registers "macsmc_battery" and
    // "macsmc_ac" beside it. Its attributes are read and written through `files`, which must
    // outlive the device.
    static std::optional<HwmonDevice>
    find(const std::filesystem::path& root,
         const HwmonAttributeFiles& files = HwmonAttributeFiles::kernel());
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
    const HwmonAttributeFiles& files() const { return *files_; }

    // Fans 1, 2, ... for as long as fanX_input exists, at most maximumFans.
    int fanCount() const;
    // "fan<number>_<suffix>" in the attribute folder.
    std::filesystem::path fanAttribute(int number, std::string_view suffix) const;
    // The attribute that holds the fan's target speed: fanX_target or fanX_output.
    std::filesystem::path targetAttribute(int number) const;

    // Whether the driver lets the fan be driven and handed back, and if not, why, in a sentence a
    // user can act on. Only fan 1 (SMC fan 0) is ever driven. The attributes must exist and carry
    // a write bit; macsmc also needs fan_control still set and a fan1_min above 0 (with 0 the
    // driver reads a written 0 as a speed, so no hand-back is possible); applesmc's two
    // attributes must read back (fan keys in another format than the driver's fail with EINVAL).
    struct WriteSupport {
        bool isAvailable = false;
        std::string text;

        bool operator==(const WriteSupport&) const = default;
    };
    WriteSupport fanWriteSupport() const;

    // "Y"/"N" of /sys/module/macsmc_hwmon/parameters/fan_control, read now; nothing when
    // unreadable. The driver reads it on every write, so it can differ from what it was at bind.
    std::optional<bool> fanControlParameter() const;

private:
    HwmonDevice(HwmonDriver driver, std::string chipName, std::filesystem::path classPath,
                std::filesystem::path attributeFolder, std::filesystem::path root,
                const HwmonAttributeFiles& files);

    WriteSupport macsmcWriteSupport() const;
    WriteSupport applesmcWriteSupport() const;

    HwmonDriver driver_;
    std::string chipName_;
    std::filesystem::path classPath_;
    std::filesystem::path attributeFolder_;
    std::filesystem::path root_;
    const HwmonAttributeFiles* files_;
};

} // namespace aerivo
