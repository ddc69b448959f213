#include "platform/hwmon/write/HwmonFanWriter.h"

#include "platform/hwmon/HwmonAttribute.h"
#include "platform/hwmon/HwmonSMCKeyTable.h"
#include "shared/SMCResult.h"
#include "shared/SMCValue.h"

#include <algorithm>
#include <cmath>

namespace aerivo {

HwmonFanWriter::HwmonFanWriter(HwmonDevice device, HwmonManualModeRecord record)
    : device_(std::move(device)), record_(std::move(record)) {}

HwmonFanWriterFactory HwmonFanWriter::factory() {
    return [](const HwmonDevice& device, const HwmonManualModeRecord& record) {
        return std::make_unique<HwmonFanWriter>(device, record);
    };
}

KernReturn HwmonFanWriter::writeAttribute(const std::filesystem::path& attribute,
                                          std::int64_t value) const {
    if (!HwmonAttribute::hasWriteBit(attribute)) {
        return HwmonAttribute::exists(attribute) ? kIOReturnNotPermitted : kIOReturnNoDevice;
    }
    return HwmonSMCKeyTable::kernelCodeForErrno(device_.files().writeInteger(attribute, value));
}

KernReturn HwmonFanWriter::write(HwmonFanKey key, int fanNumber,
                                 const std::vector<std::uint8_t>& bytes,
                                 std::uint8_t& smcResult) const {
    if (key == HwmonFanKey::target) {
        const auto rpm = SMCValue{"", "flt ", 4, bytes}.rpmValue();
        if (!rpm || *rpm < 0 || std::llround(*rpm) > HwmonSMCKeyTable::maximumRPM) {
            smcResult = SMCResult::badArgument;
            return kIOReturnSuccess;
        }
        return writeTarget(fanNumber, *rpm);
    }
    if (bytes.size() != 1 || bytes[0] > 1) {
        smcResult = SMCResult::badArgument;
        return kIOReturnSuccess;
    }
    return writeMode(fanNumber, bytes[0] == 1);
}

KernReturn HwmonFanWriter::writeTarget(int fanNumber, double rpm) const {
    const auto speed = static_cast<std::int64_t>(std::llround(rpm));
    if (device_.driver() == HwmonDriver::applesmc) {
        return writeAttribute(device_.targetAttribute(fanNumber), speed);
    }
    if (!record_.isManual(fanNumber)) {
        return kIOReturnSuccess;
    }
    if (speed == 0) {
        return handBackMacSMCFan(fanNumber);
    }
    return writeAttribute(device_.targetAttribute(fanNumber), speed);
}

KernReturn HwmonFanWriter::writeMode(int fanNumber, bool manual) const {
    if (device_.driver() == HwmonDriver::applesmc) {
        return writeAttribute(device_.fanAttribute(fanNumber, "manual"), manual ? 1 : 0);
    }
    return manual ? takeMacSMCFan(fanNumber) : handBackMacSMCFan(fanNumber);
}

KernReturn HwmonFanWriter::takeMacSMCFan(int fanNumber) const {
    // Only fan 1 is ever driven, and fanWriteSupport speaks for it.
    if (!HwmonAttribute::hasWriteBit(device_.targetAttribute(fanNumber))) {
        return kIOReturnNotPermitted;
    }
    if (fanNumber != 1 || !device_.fanWriteSupport().isAvailable) {
        return kIOReturnUnsupported;
    }
    return record_.setManual(fanNumber, true) == 0 ? kIOReturnSuccess : kIOReturnError;
}

KernReturn HwmonFanWriter::handBackMacSMCFan(int fanNumber) const {
    const std::filesystem::path target = device_.targetAttribute(fanNumber);
    if (!record_.isManual(fanNumber) && !HwmonAttribute::hasWriteBit(target)) {
        return kIOReturnSuccess;
    }
    const HwmonAttributeFiles& files = device_.files();
    const auto minimum = files.readInteger(device_.fanAttribute(fanNumber, "min"));
    const auto maximum = files.readInteger(device_.fanAttribute(fanNumber, "max"));
    if (!minimum || !maximum || *maximum < *minimum) {
        return kIOReturnError;
    }
    if (*minimum <= 0) {
        // 0 lies inside the range: the driver would take it as a speed, never as the hand-back.
        return kIOReturnUnsupported;
    }
    const auto live = files.readInteger(device_.fanAttribute(fanNumber, "input"));
    const std::int64_t holding = std::clamp(live.value_or(*minimum), *minimum, *maximum);
    if (const KernReturn taken = writeAttribute(target, holding); taken != kIOReturnSuccess) {
        return taken;
    }
    if (const KernReturn released = writeAttribute(target, 0); released != kIOReturnSuccess) {
        return released;
    }
    return record_.setManual(fanNumber, false) == 0 ? kIOReturnSuccess : kIOReturnError;
}

} // namespace aerivo
