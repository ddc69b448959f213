#pragma once

#include "shared/KernelReturn.h"

#include <cstdint>

namespace aerivo {

// The outcome of one SMC write: the kernel code of the call and the SMC result byte of its
// answer. Both are kept so the caller can say which side refused.
struct FanTargetWriteResult {
    KernReturn kernelResult = kIOReturnSuccess;
    std::uint8_t smcResult = 0;

    bool isSuccess() const { return kernelResult == kIOReturnSuccess && smcResult == 0; }

    bool operator==(const FanTargetWriteResult&) const = default;
};

} // namespace aerivo
