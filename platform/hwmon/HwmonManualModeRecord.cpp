#include "platform/hwmon/HwmonManualModeRecord.h"

#include "platform/posix/FileContents.h"

#include <cerrno>

namespace aerivo {

namespace fs = std::filesystem;

HwmonManualModeRecord::HwmonManualModeRecord(fs::path folder, std::string deviceName)
    : folder_(std::move(folder)), deviceName_(std::move(deviceName)) {}

fs::path HwmonManualModeRecord::recordFile(int fanNumber) const {
    return folder_ / (deviceName_ + "-fan" + std::to_string(fanNumber) + ".manual");
}

bool HwmonManualModeRecord::isManual(int fanNumber) const {
    std::error_code error;
    return fs::exists(recordFile(fanNumber), error);
}

int HwmonManualModeRecord::setManual(int fanNumber, bool manual) const {
    const fs::path file = recordFile(fanNumber);
    if (!manual) {
        std::error_code error;
        fs::remove(file, error);
        return error ? error.value() : 0;
    }
    try {
        writeFileAtomically(file, "1\n");
        return 0;
    } catch (const FileWriteError&) {
        return EIO;
    }
}

} // namespace aerivo
