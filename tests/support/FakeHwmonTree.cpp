#include "tests/support/FakeHwmonTree.h"

#include <cerrno>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace aerivo::testing {

namespace fs = std::filesystem;

namespace {

constexpr fs::perms readOnly =
    fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
constexpr fs::perms readWrite = readOnly | fs::perms::owner_write;

// The SMC's device under the device tree's soc node; macsmc-hwmon and macsmc-power are its MFD
// cells.
const char* const smcDevice = "sys/devices/platform/soc/23e400000.smc";

} // namespace

FakeHwmonTree::FakeHwmonTree() {
    fs::create_directories(root() / "sys/class/hwmon");
}

fs::path FakeHwmonTree::linkClassEntry(int number, const fs::path& hwmonFolder) {
    const fs::path entry = root() / "sys/class/hwmon" / ("hwmon" + std::to_string(number));
    fs::create_symlink(fs::relative(hwmonFolder, entry.parent_path()), entry);
    return entry;
}

fs::path FakeHwmonTree::addMacSMC(int number, bool fanControl) {
    // devm_hwmon_device_register_with_info(&pdev->dev, "macsmc_hwmon", ...): the class device
    // under the platform device, attributes in its own folder.
    macsmcFolder_ = root() / smcDevice / "macsmc-hwmon/hwmon" / ("hwmon" + std::to_string(number));
    fs::create_directories(macsmcFolder_);
    setReadOnly(macsmcFolder_, "name", "macsmc_hwmon");
    linkClassEntry(number, macsmcFolder_);
    const fs::path parameters = root() / "sys/module/macsmc_hwmon/parameters";
    fs::create_directories(parameters);
    set(parameters, "fan_control", fanControl ? "Y" : "N");
    return macsmcFolder_;
}

void FakeHwmonTree::addMacSMCPowerSupplies(int battery, int ac) {
    // power_supply_add_hwmon_sysfs: registered on the supply's device, named after the supply.
    const fs::path supplies = root() / smcDevice / "macsmc-power/power_supply";
    const fs::path batteryFolder =
        supplies / "macsmc-battery/hwmon" / ("hwmon" + std::to_string(battery));
    fs::create_directories(batteryFolder);
    setReadOnly(batteryFolder, "name", "macsmc_battery");
    setReadOnly(batteryFolder, "temp1_input", "31200");
    setReadOnly(batteryFolder, "temp1_label", "temp");
    setReadOnly(batteryFolder, "in0_input", "12650");
    setReadOnly(batteryFolder, "curr1_input", "-812");
    linkClassEntry(battery, batteryFolder);
    const fs::path acFolder = supplies / "macsmc-ac/hwmon" / ("hwmon" + std::to_string(ac));
    fs::create_directories(acFolder);
    setReadOnly(acFolder, "name", "macsmc_ac");
    setReadOnly(acFolder, "in0_input", "20000");
    linkClassEntry(ac, acFolder);
}

fs::path FakeHwmonTree::addAppleSMC(int number) {
    // hwmon_device_register(&pdev->dev): the class device holds no attributes; they and the
    // name are on the platform device, which the class device reaches as "device".
    const fs::path device = root() / "sys/devices/platform/applesmc.768";
    const fs::path hwmon = device / "hwmon" / ("hwmon" + std::to_string(number));
    fs::create_directories(hwmon);
    fs::create_symlink("../../../applesmc.768", hwmon / "device");
    setReadOnly(device, "name", "applesmc");
    setReadOnly(device, "key_count", "563");
    set(device, "key_at_index", "0");
    linkClassEntry(number, hwmon);
    applesmcFolder_ = device;
    return device;
}

fs::path FakeHwmonTree::addOther(int number, const std::string& chipName) {
    const fs::path folder =
        root() / "sys/devices/virtual" / chipName / "hwmon" / ("hwmon" + std::to_string(number));
    fs::create_directories(folder);
    setReadOnly(folder, "name", chipName);
    linkClassEntry(number, folder);
    return folder;
}

fs::path FakeHwmonTree::macsmcLaptop(int number, bool fanControl) {
    const fs::path folder = addMacSMC(number, fanControl);
    // hwmon-fan-dual.dtsi over hwmon-fan.dtsi: two fans, each with its four keys and F<i>Md.
    for (const auto& [attribute, value] : std::map<std::string, std::string>{
             {"fan1_input", "1500"},
             {"fan1_min", "1200"},
             {"fan1_max", "6000"},
             {"fan1_label", "Fan 1"},
             {"fan2_input", "1400"},
             {"fan2_min", "1000"},
             {"fan2_max", "5500"},
             {"fan2_label", "Fan 2"},
             // hwmon-common.dtsi, then hwmon-laptop.dtsi, in the order the nodes are walked.
             {"temp1_input", "44250"},
             {"temp1_label", "NAND Flash Temperature"},
             {"temp2_input", "51000"},
             {"temp2_label", "Battery Hotspot"},
             {"temp3_input", "47250"},
             {"temp3_label", "Charge Regulator Temp"},
             {"temp4_input", "40750"},
             {"temp4_label", "WiFi/BT Module Temp"},
             {"power1_input", "9870000"},
             {"power1_label", "Total System Power"},
         }) {
        setReadOnly(folder, attribute, value);
    }
    // What the SMC's own control sets once a fan is handed back: not what it was before.
    macsmcFans_ = {{1, {0, false, 1300}}, {2, {0, false, 1250}}};
    setReadOnly(folder, "fan1_target", "1500");
    setReadOnly(folder, "fan2_target", "1400");
    applyTargetModes();
    return folder;
}

fs::path FakeHwmonTree::applesmcLaptop(int number) {
    const fs::path folder = addAppleSMC(number);
    // applesmc_create_nodes: 0444, plus 0200 for the groups with a store method.
    for (const auto& [attribute, value] :
         std::map<std::string, std::string>{{"fan1_input", "2100"},
                                            {"fan1_max", "6200"},
                                            {"fan1_safe", "3500"},
                                            {"fan1_label", "Exhaust"},
                                            {"temp1_input", "52000"},
                                            {"temp1_label", "TC0P"},
                                            {"temp2_input", "47500"},
                                            {"temp2_label", "TB0T"}}) {
        setReadOnly(folder, attribute, value);
    }
    set(folder, "fan1_min", "2000");
    set(folder, "fan1_output", "2000");
    set(folder, "fan1_manual", "0");
    return folder;
}

bool FakeHwmonTree::fanControlNow() const {
    return get(root() / "sys/module/macsmc_hwmon/parameters", "fan_control") == "Y";
}

void FakeHwmonTree::applyTargetModes() {
    // macsmc_hwmon_fan_is_visible, evaluated when the device registers.
    const fs::perms mode = fanControlNow() ? readWrite : readOnly;
    for (const auto& [number, fan] : macsmcFans_) {
        const fs::path target = macsmcFolder_ / ("fan" + std::to_string(number) + "_target");
        if (fs::exists(target)) {
            fs::permissions(target, mode);
        }
    }
}

void FakeHwmonTree::setFanControl(bool enabled) {
    set(root() / "sys/module/macsmc_hwmon/parameters", "fan_control", enabled ? "Y" : "N");
}

void FakeHwmonTree::rebind() {
    // macsmc_hwmon_create_fan: "Initialise fan control mode to automatic" - the flag only; the
    // SMC's keys are left as they are.
    for (auto& [number, fan] : macsmcFans_) {
        fan.manualFlag = false;
    }
    applyTargetModes();
}

int FakeHwmonTree::smcMode(int fanNumber) const {
    return macsmcFans_.at(fanNumber).smcMode;
}

bool FakeHwmonTree::driverManualFlag(int fanNumber) const {
    return macsmcFans_.at(fanNumber).manualFlag;
}

void FakeHwmonTree::setSystemTarget(int fanNumber, std::int64_t rpm) {
    macsmcFans_.at(fanNumber).systemTarget = rpm;
}

std::optional<int> FakeHwmonTree::fanNumber(const fs::path& file, const fs::path& folder,
                                            const std::string& suffix) {
    // The backend reaches the attributes through /sys/class/hwmon links.
    std::error_code error;
    if (folder.empty() ||
        fs::weakly_canonical(file.parent_path(), error) != fs::weakly_canonical(folder, error)) {
        return std::nullopt;
    }
    const std::string name = file.filename().string();
    const std::string tail = "_" + suffix;
    if (!name.starts_with("fan") || !name.ends_with(tail) || name.size() <= 3 + tail.size()) {
        return std::nullopt;
    }
    try {
        return std::stoi(name.substr(3, name.size() - 3 - tail.size()));
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::variant<std::string, int> FakeHwmonTree::readText(const fs::path& file) const {
    if (floatFanKeys_) {
        // applesmc_show_fan_speed / applesmc_show_fan_manual read 2 bytes of a 4-byte key.
        for (const char* suffix : {"input", "min", "max", "safe", "output", "manual"}) {
            if (fanNumber(file, applesmcFolder_, suffix)) {
                return EINVAL;
            }
        }
    }
    return HwmonAttributeFiles::readText(file);
}

int FakeHwmonTree::writeMacSMCTarget(int fanNumber, std::int64_t value) const {
    MacSMCFan& fan = macsmcFans_.at(fanNumber);
    if (!fanControlNow()) {
        return EOPNOTSUPP;
    }
    const std::string prefix = "fan" + std::to_string(fanNumber);
    const auto minimum = HwmonAttribute::readInteger(macsmcFolder_ / (prefix + "_min"));
    const auto maximum = HwmonAttribute::readInteger(macsmcFolder_ / (prefix + "_max"));
    if (!minimum || !maximum) {
        return EIO;
    }
    if (value >= *minimum && value <= *maximum) {
        if (!fan.manualFlag) {
            fan.smcMode = 1;
            fan.manualFlag = true;
        }
        set(macsmcFolder_, prefix + "_target", std::to_string(value), readWrite);
        return 0;
    }
    if (value == 0) {
        if (fan.manualFlag) {
            fan.smcMode = 0;
            fan.manualFlag = false;
            // Back under its own control, the SMC sets its own target.
            set(macsmcFolder_, prefix + "_target", std::to_string(fan.systemTarget), readWrite);
        }
        return 0;
    }
    return EINVAL;
}

int FakeHwmonTree::writeAppleSMC(const std::string& attribute, std::int64_t value) const {
    if (floatFanKeys_) {
        return EINVAL;
    }
    if (attribute.ends_with("_manual")) {
        set(applesmcFolder_, attribute, value != 0 ? "1" : "0");
        return 0;
    }
    if (value < 0 || value >= 0x4000) {
        return EINVAL;
    }
    set(applesmcFolder_, attribute, std::to_string(value));
    return 0;
}

int FakeHwmonTree::writeInteger(const fs::path& file, std::int64_t value) const {
    // kernfs_fop_open: no write bit, no write open, whoever asks.
    if (!HwmonAttribute::hasWriteBit(file)) {
        return HwmonAttribute::exists(file) ? EACCES : ENOENT;
    }
    if (const auto fan = fanNumber(file, macsmcFolder_, "target")) {
        return writeMacSMCTarget(*fan, value);
    }
    for (const char* suffix : {"min", "output", "manual"}) {
        if (fanNumber(file, applesmcFolder_, suffix)) {
            return writeAppleSMC(file.filename().string(), value);
        }
    }
    return HwmonAttributeFiles::writeInteger(file, value);
}

void FakeHwmonTree::set(const fs::path& folder, const std::string& attribute,
                        const std::string& value, fs::perms mode) {
    const fs::path file = folder / attribute;
    if (fs::exists(file)) {
        fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
    }
    {
        std::ofstream stream(file, std::ios::binary | std::ios::trunc);
        stream << value << '\n';
        if (!stream) {
            throw std::runtime_error("cannot write " + file.string());
        }
    }
    fs::permissions(file, mode);
}

void FakeHwmonTree::setReadOnly(const fs::path& folder, const std::string& attribute,
                                const std::string& value) {
    set(folder, attribute, value, readOnly);
}

void FakeHwmonTree::makeReadOnly(const fs::path& folder, const std::string& attribute) {
    fs::permissions(folder / attribute, readOnly);
}

void FakeHwmonTree::remove(const fs::path& folder, const std::string& attribute) {
    fs::remove(folder / attribute);
}

std::string FakeHwmonTree::get(const fs::path& folder, const std::string& attribute) {
    std::ifstream stream(folder / attribute, std::ios::binary);
    if (!stream) {
        return "<missing>";
    }
    std::ostringstream text;
    text << stream.rdbuf();
    std::string value = text.str();
    if (!value.empty() && value.back() == '\n') {
        value.pop_back();
    }
    return value;
}

std::map<std::string, std::string> FakeHwmonTree::fanState(const fs::path& folder) {
    std::map<std::string, std::string> state;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with("fan") && entry.is_regular_file()) {
            state[name] = get(folder, name);
        }
    }
    return state;
}

} // namespace aerivo::testing
