#pragma once

#include "tests/support/TemporaryDirectory.h"

#include <filesystem>
#include <map>
#include <string>

namespace aerivo::testing {

// A fake sysfs tree in the shapes the kernel's drivers give it, under a temporary root:
// /sys/class/hwmon/hwmonN links to the device's folder under /sys/devices, as on a machine.
//   macsmc   (Apple Silicon): attributes in the hwmon folder itself, name "macsmc_hwmon", the
//            driver's fan_control parameter under /sys/module/macsmc_hwmon/parameters;
//   applesmc (Intel): the older registration, attributes and name in the platform device's
//            folder, which the hwmon folder reaches as "device".
// Attributes are plain files; a read-only one has mode 0444, as sysfs shows it.
class FakeHwmonTree {
public:
    FakeHwmonTree();

    const std::filesystem::path& root() const { return directory_.path(); }

    // A device of `chipName` as hwmon<number>; its attribute folder.
    std::filesystem::path addMacSMC(int number, bool fanControl);
    std::filesystem::path addAppleSMC(int number);
    std::filesystem::path addOther(int number, const std::string& chipName);

    // The two-fan Apple Silicon laptop: fan1 1200...6000 at 1500 (target 1500), fan2
    // 1000...5500 at 1400; four temperature sensors. The attribute folder.
    std::filesystem::path macsmcLaptop(int number, bool fanControl);
    // The one-fan Intel machine: fan1 2000...6200 at 2100, output 2000, manual 0; two sensors.
    std::filesystem::path applesmcLaptop(int number);

    // Writes an attribute (a trailing line feed is added) with the given mode.
    static void set(const std::filesystem::path& folder, const std::string& attribute,
                    const std::string& value,
                    std::filesystem::perms mode = std::filesystem::perms::owner_read |
                                                  std::filesystem::perms::owner_write |
                                                  std::filesystem::perms::group_read |
                                                  std::filesystem::perms::others_read);
    static void makeReadOnly(const std::filesystem::path& folder, const std::string& attribute);
    static void remove(const std::filesystem::path& folder, const std::string& attribute);
    // The attribute's text without its trailing line feed; "<missing>" when there is none.
    static std::string get(const std::filesystem::path& folder, const std::string& attribute);
    // Every fan attribute of the folder ("fan1_target" -> "2400"), for end-state comparisons.
    static std::map<std::string, std::string> fanState(const std::filesystem::path& folder);

private:
    std::filesystem::path linkClassEntry(int number, const std::filesystem::path& hwmonFolder);

    TemporaryDirectory directory_{"aerivo-hwmon"};
};

} // namespace aerivo::testing
