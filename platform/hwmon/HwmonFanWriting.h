#pragma once

#include "platform/hwmon/HwmonDevice.h"
#include "platform/hwmon/HwmonManualModeRecord.h"
#include "shared/KernelReturn.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace aerivo {

// The two fan keys an SMC write may reach through hwmon.
enum class HwmonFanKey {
    target, // FiTg, flt
    mode,   // Fimd, ui8
};

// What carries an SMC write of a fan key to the driver. The read-only port has none and answers
// every write with kIOReturnNotPrivileged; the helper is given one (HwmonFanWriter, in the write
// library, which nothing of the app links).
class HwmonFanWriting {
public:
    virtual ~HwmonFanWriting() = default;

    // One write of the key's bytes (already checked for size): the kernel code, and in
    // `smcResult` the controller's answer when the value itself is refused.
    virtual KernReturn write(HwmonFanKey key, int fanNumber, const std::vector<std::uint8_t>& bytes,
                             std::uint8_t& smcResult) const = 0;
};

// Makes the writer for a device found at start-up; the writer may keep copies of both.
using HwmonFanWriterFactory = std::function<std::unique_ptr<HwmonFanWriting>(
    const HwmonDevice& device, const HwmonManualModeRecord& record)>;

} // namespace aerivo
