#pragma once

#include "platform/hwmon/HwmonAttribute.h"
#include "tests/support/TemporaryDirectory.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <variant>

namespace aerivo::testing {

// A fake sysfs tree under a temporary root, and a model of the kernel drivers behind it. Every
// fact below comes from the drivers' sources, named by the function that makes it so; the .cpp
// follows the same functions.
//
// Tree (plain files, so a separate process can read and write it as it would sysfs):
//   - /sys/class/hwmon/hwmonN links to the device's folder under /sys/devices.
//   - macsmc (drivers/hwmon/macsmc-hwmon.c): macsmc_hwmon_probe registers the hwmon device
//     "macsmc_hwmon" with devm_hwmon_device_register_with_info, so the attributes sit in the
//     hwmonN folder itself. Labels come from the device tree (macsmc_hwmon_create_sensor,
//     macsmc_hwmon_create_fan): arch/arm64/boot/dts/apple/hwmon-common.dtsi, hwmon-laptop.dtsi
//     and hwmon-fan-dual.dtsi give "NAND Flash Temperature" (TH0x), "Battery Hotspot" (TB0T),
//     "Charge Regulator Temp" (TCHP), "WiFi/BT Module Temp" (TW0P), fans "Fan 1"/"Fan 2" over
//     F0Ac/F0Mn/F0Mx/F0Tg with the mode key F0Md. Modes (macsmc_hwmon_is_visible,
//     macsmc_hwmon_fan_is_visible): everything 0444, except fanX_target 0644 when fan_control
//     was set at registration. The parameter (module_param_unsafe(fan_control, bool, 0644))
//     reads "Y"/"N" under /sys/module/macsmc_hwmon/parameters.
//   - The power-supply core (drivers/power/supply/power_supply_hwmon.c,
//     power_supply_add_hwmon_sysfs) registers a hwmon device for each supply of
//     drivers/power/supply/macsmc-power.c, its name the supply's with '-' made '_':
//     "macsmc_battery" (temp1_input, temp1_label "temp" from ps_temp_label, in0_input,
//     curr1_input) and "macsmc_ac" (in0_input).
//   - applesmc (drivers/hwmon/applesmc.c): the attributes are made on the platform device
//     (applesmc_create_nodes), whose "name" is "applesmc" (applesmc_name_show); mode 0444 plus
//     0200 where the group has a store method: fanX_min, fanX_output, fanX_manual, key_at_index.
//     fanX_label, fanX_input, fanX_max, fanX_safe, key_count, tempX_label and tempX_input are
//     0444. A temperature's label is its SMC key ("TC0P", applesmc_show_sensor_label).
//
// Driver (the attribute I/O the backend is given, HwmonAttributeFiles):
//   - kernfs_fop_open refuses a write open of a file without a write bit with EACCES, even to
//     root.
//   - macsmc_hwmon_write_fan: EOPNOTSUPP unless fan_control is set now (the parameter is read on
//     every write); a value in [fanX_min, fanX_max] sets the SMC's mode key to 1 when the
//     in-memory manual flag is clear, sets the flag and writes the SMC target; 0 outside that
//     range writes the mode key 0 and clears the flag only when the flag is set, else does
//     nothing and succeeds; anything else EINVAL. fanX_target reads the SMC's target key
//     (macsmc_hwmon_read_fan), which under the SMC's own control is the SMC's choice.
//     macsmc_hwmon_create_fan clears the flag at every probe (rebind()), and the file modes are
//     decided again then.
//   - applesmc_store_fan_speed: EINVAL unless a decimal below 0x4000; applesmc_read_entry and
//     applesmc_write_entry: EINVAL when the key's size is not the 2 bytes the driver uses, as
//     on Macs whose fan keys are 4-byte floats (setFloatFanKeys); applesmc_store_fan_manual sets
//     or clears the fan's bit of "FS! ".
class FakeHwmonTree final : public HwmonAttributeFiles {
public:
    FakeHwmonTree();

    const std::filesystem::path& root() const { return directory_.path(); }

    // A device as hwmon<number>; its attribute folder.
    std::filesystem::path addMacSMC(int number, bool fanControl);
    std::filesystem::path addAppleSMC(int number);
    std::filesystem::path addOther(int number, const std::string& chipName);
    // The two power-supply hwmon devices macsmc-power brings, as hwmon<battery> and hwmon<ac>.
    void addMacSMCPowerSupplies(int battery, int ac);

    // The two-fan Apple Silicon laptop: fan1 1200...6000 at 1500 (target 1500), fan2
    // 1000...5500 at 1400 (target 1400); after a hand-back the SMC sets fan1's target to 1300
    // (fan2's to 1250). The laptop's four device-tree temperatures. The attribute folder.
    std::filesystem::path macsmcLaptop(int number, bool fanControl);
    // The one-fan Intel laptop: fan1 2000...6200 at 2100, output 2000, manual 0, safe 3500; the
    // sensors TC0P (52 C) and TB0T (47.5 C). The attribute folder.
    std::filesystem::path applesmcLaptop(int number);

    // The module parameter as "echo Y|N > .../parameters/fan_control" leaves it: the files'
    // modes stay as they are until rebind().
    void setFanControl(bool enabled);
    // Unbind and bind again (or a module reload): the driver's manual flags are cleared and the
    // target modes follow the parameter as it is now. The SMC keeps its state.
    void rebind();
    // The SMC's mode key of a macsmc fan (F<n-1>Md): 0 system, 1 manual.
    int smcMode(int fanNumber) const;
    // The driver's in-memory manual flag of a macsmc fan.
    bool driverManualFlag(int fanNumber) const;
    // What the SMC sets as its own target when it takes a fan back.
    void setSystemTarget(int fanNumber, std::int64_t rpm);
    // applesmc on a Mac whose fan keys are 4-byte floats: every fan speed and manual read and
    // write fails with EINVAL.
    void setFloatFanKeys(bool floatKeys) { floatFanKeys_ = floatKeys; }

    std::variant<std::string, int> readText(const std::filesystem::path& file) const override;
    int writeInteger(const std::filesystem::path& file, std::int64_t value) const override;

    // Writes an attribute (a trailing line feed is added) with the given mode.
    static void set(const std::filesystem::path& folder, const std::string& attribute,
                    const std::string& value,
                    std::filesystem::perms mode = std::filesystem::perms::owner_read |
                                                  std::filesystem::perms::owner_write |
                                                  std::filesystem::perms::group_read |
                                                  std::filesystem::perms::others_read);
    // 0444, as sysfs shows an attribute without a store method.
    static void setReadOnly(const std::filesystem::path& folder, const std::string& attribute,
                            const std::string& value);
    static void makeReadOnly(const std::filesystem::path& folder, const std::string& attribute);
    static void remove(const std::filesystem::path& folder, const std::string& attribute);
    // The attribute's text without its trailing line feed; "<missing>" when there is none.
    static std::string get(const std::filesystem::path& folder, const std::string& attribute);
    // Every fan attribute of the folder ("fan1_target" -> "2400"), for end-state comparisons.
    static std::map<std::string, std::string> fanState(const std::filesystem::path& folder);

private:
    struct MacSMCFan {
        int smcMode = 0;
        bool manualFlag = false;
        std::int64_t systemTarget = 0;
    };

    std::filesystem::path linkClassEntry(int number, const std::filesystem::path& hwmonFolder);
    bool fanControlNow() const;
    void applyTargetModes();
    int writeMacSMCTarget(int fanNumber, std::int64_t value) const;
    int writeAppleSMC(const std::string& attribute, std::int64_t value) const;
    // "fan<N>_<suffix>" of the folder: N, when the file is one.
    static std::optional<int> fanNumber(const std::filesystem::path& file,
                                        const std::filesystem::path& folder,
                                        const std::string& suffix);

    TemporaryDirectory directory_{"aerivo-hwmon"};
    std::filesystem::path macsmcFolder_;
    std::filesystem::path applesmcFolder_;
    bool floatFanKeys_ = false;
    mutable std::map<int, MacSMCFan> macsmcFans_;
};

} // namespace aerivo::testing
