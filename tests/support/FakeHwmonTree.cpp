#include "tests/support/FakeHwmonTree.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace aerivo::testing {

namespace fs = std::filesystem;

FakeHwmonTree::FakeHwmonTree() {
    fs::create_directories(root() / "sys/class/hwmon");
}

fs::path FakeHwmonTree::linkClassEntry(int number, const fs::path& hwmonFolder) {
    const fs::path entry = root() / "sys/class/hwmon" / ("hwmon" + std::to_string(number));
    fs::create_symlink(fs::relative(hwmonFolder, entry.parent_path()), entry);
    return entry;
}

fs::path FakeHwmonTree::addMacSMC(int number, bool fanControl) {
    const fs::path folder = root() / "sys/devices/platform/soc/23e400000.smc/macsmc-hwmon/hwmon" /
                            ("hwmon" + std::to_string(number));
    fs::create_directories(folder);
    set(folder, "name", "macsmc_hwmon");
    linkClassEntry(number, folder);
    const fs::path parameters = root() / "sys/module/macsmc_hwmon/parameters";
    fs::create_directories(parameters);
    set(parameters, "fan_control", fanControl ? "Y" : "N");
    return folder;
}

fs::path FakeHwmonTree::addAppleSMC(int number) {
    const fs::path device = root() / "sys/devices/platform/applesmc.768";
    const fs::path hwmon = device / "hwmon" / ("hwmon" + std::to_string(number));
    fs::create_directories(hwmon);
    fs::create_symlink("../../../applesmc.768", hwmon / "device");
    set(device, "name", "applesmc");
    linkClassEntry(number, hwmon);
    return device;
}

fs::path FakeHwmonTree::addOther(int number, const std::string& chipName) {
    const fs::path folder =
        root() / "sys/devices/virtual" / chipName / "hwmon" / ("hwmon" + std::to_string(number));
    fs::create_directories(folder);
    set(folder, "name", chipName);
    linkClassEntry(number, folder);
    return folder;
}

fs::path FakeHwmonTree::macsmcLaptop(int number, bool fanControl) {
    const fs::path folder = addMacSMC(number, fanControl);
    const auto target =
        fanControl ? fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                         fs::perms::others_read
                   : fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
    for (const auto& [attribute, value] :
         std::map<std::string, std::string>{{"fan1_input", "1500"},
                                            {"fan1_min", "1200"},
                                            {"fan1_max", "6000"},
                                            {"fan1_label", "Left fan"},
                                            {"fan2_input", "1400"},
                                            {"fan2_min", "1000"},
                                            {"fan2_max", "5500"}}) {
        set(folder, attribute, value,
            fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    }
    set(folder, "fan1_target", "1500", target);
    set(folder, "fan2_target", "1400", target);
    set(folder, "temp1_input", "61250");
    set(folder, "temp1_label", "PMU tdie1");
    set(folder, "temp2_input", "64000");
    set(folder, "temp2_label", "PMU tdev3");
    set(folder, "temp3_input", "70000");
    set(folder, "temp3_label", "Battery");
    set(folder, "temp4_input", "48000");
    return folder;
}

fs::path FakeHwmonTree::applesmcLaptop(int number) {
    const fs::path folder = addAppleSMC(number);
    for (const auto& [attribute, value] :
         std::map<std::string, std::string>{{"fan1_input", "2100"},
                                            {"fan1_min", "2000"},
                                            {"fan1_max", "6200"},
                                            {"fan1_label", "Exhaust"},
                                            {"fan1_output", "2000"},
                                            {"fan1_manual", "0"},
                                            {"temp1_input", "52000"},
                                            {"temp2_input", "47500"}}) {
        set(folder, attribute, value);
    }
    return folder;
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

void FakeHwmonTree::makeReadOnly(const fs::path& folder, const std::string& attribute) {
    fs::permissions(folder / attribute,
                    fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
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
