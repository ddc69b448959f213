#pragma once

#include <filesystem>
#include <string>

namespace aerivo {

// Which macsmc fans the helper has taken under manual control. The driver shows a fan's target
// but not whether the SMC or a program is driving it, so the helper records it here: one file
// per fan, present from the moment the helper asks for manual control until the fan is back
// under the SMC's control. The folder lives in the run-time state folder (a memory file system
// emptied at boot, when the SMC starts under its own control again), so a helper that crashed
// leaves the record behind and the next one finds the fan it must hand back.
class HwmonManualModeRecord {
public:
    // `deviceName` ("hwmon2") keeps the records of two devices apart.
    HwmonManualModeRecord(std::filesystem::path folder, std::string deviceName);

    bool isManual(int fanNumber) const;
    // Creates or removes the fan's record; 0, or the errno of the failure.
    int setManual(int fanNumber, bool manual) const;

    std::filesystem::path recordFile(int fanNumber) const;

private:
    std::filesystem::path folder_;
    std::string deviceName_;
};

} // namespace aerivo
