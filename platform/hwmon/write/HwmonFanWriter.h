#pragma once

#include "platform/hwmon/HwmonDevice.h"
#include "platform/hwmon/HwmonFanWriting.h"
#include "platform/hwmon/HwmonManualModeRecord.h"

#include <filesystem>

namespace aerivo {

// The helper's fan writes through hwmon, for the keys HwmonSMCKeyTable maps:
//   - a target must be a finite speed in 0...HwmonSMCKeyTable::maximumRPM (SMC result
//     badArgument otherwise), written rounded to a whole rpm; a mode must be 0 or 1;
//   - applesmc: the mode goes to fanX_manual and the target to fanX_output, as given;
//   - macsmc (macsmc_hwmon_write_fan): a speed in fanX_min...fanX_max takes the fan (the driver
//     writes the SMC's mode key to 1 when its in-memory manual flag is clear, sets the flag, then
//     writes the target); 0 writes the mode key back to 0 only while that flag is set, and
//     succeeds silently otherwise; anything else is EINVAL; without fan_control every write, 0
//     included, is EOPNOTSUPP. The flag starts clear at every bind (unbind, module reload), so a
//     plain 0 can leave the SMC in manual mode while reporting success.
//     Mode 1 is recorded (HwmonManualModeRecord) only when HwmonDevice::fanWriteSupport allows
//     it: kIOReturnNotPermitted when fanX_target has no write bit, kIOReturnUnsupported when the
//     driver would refuse or could never hand the fan back (fan_control off, fanX_min at 0). A
//     target of a recorded fan goes to the driver, 0 being a hand-back; a target under system
//     control is accepted and not passed on, as a Mac's SMC ignores a target until the mode says
//     manual. Mode 0 is the hand-back: a speed inside fanX_min...fanX_max (the live speed,
//     bounded) so the driver's flag is set whatever state it is in, then 0, which now writes the
//     mode key; only when both succeed is the record removed and success answered. A fan without
//     a record whose fanX_target has no write bit cannot have been taken through this driver:
//     nothing is written and the answer is success.
// An attribute without a write bit is never written (kIOReturnNotPermitted): the driver marked
// it read-only, and root's open would get past the bits of a plain file. Kernel errors map as
// HwmonSMCKeyTable::kernelCodeForErrno says.
class HwmonFanWriter final : public HwmonFanWriting {
public:
    HwmonFanWriter(HwmonDevice device, HwmonManualModeRecord record);

    // Makes an HwmonFanWriter for the device a port opens.
    static HwmonFanWriterFactory factory();

    KernReturn write(HwmonFanKey key, int fanNumber, const std::vector<std::uint8_t>& bytes,
                     std::uint8_t& smcResult) const override;

private:
    KernReturn writeTarget(int fanNumber, double rpm) const;
    KernReturn writeMode(int fanNumber, bool manual) const;
    KernReturn takeMacSMCFan(int fanNumber) const;
    KernReturn handBackMacSMCFan(int fanNumber) const;
    KernReturn writeAttribute(const std::filesystem::path& attribute, std::int64_t value) const;

    HwmonDevice device_;
    HwmonManualModeRecord record_;
};

} // namespace aerivo
