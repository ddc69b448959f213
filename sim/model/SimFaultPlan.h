#pragma once

#include "shared/KernelReturn.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace aerivo {

// How one faulty SMC command answers: a kernel code for the whole call, or (with a zero kernel
// code) a non-zero SMC result byte in the output record.
struct SimCallFailure {
    KernReturn kernelResult = kIOReturnSuccess;
    std::uint8_t smcResult = 0;

    bool operator==(const SimCallFailure&) const = default;
};

// Injected faults. JSON form (every member optional):
//   {"readFailures":  {"F0Ac": {"smcResult": 133}, "F0Mx": {"kernelResult": "unsupported"}},
//    "writeFailures": {"F0Tg": {"kernelResult": -536870206}, "F0md": {"smcResult": 130}},
//    "closedClasses": {"AppleSMCKeysEndpoint": "notPermitted"},
//    "callDelayMicroseconds": 2000}
// Kernel codes are signed decimal numbers, "0x..." hexadecimal text or one of the names
// "error", "badArgument", "notPrivileged", "unsupported", "notPermitted", "notFound", "noDevice".
struct SimFaultPlan {
    std::map<std::string, SimCallFailure> readFailures;
    std::map<std::string, SimCallFailure> writeFailures;
    std::map<std::string, KernReturn> closedClasses;
    std::uint32_t callDelayMicroseconds = 0;

    bool empty() const { return *this == SimFaultPlan{}; }
    // Entries of `other` replace entries of the same key; a non-zero delay replaces the delay.
    void merge(const SimFaultPlan& other);
    // One key=value line per fault, "none" when there is none.
    std::vector<std::string> describe() const;
    std::string toJSON() const;

    static std::variant<SimFaultPlan, std::string> fromJSON(std::string_view text);
    // A kernel code written as a name, a signed decimal number or "0x" hexadecimal (32 bits).
    static std::optional<KernReturn> kernelResultFromText(std::string_view text);

    bool operator==(const SimFaultPlan&) const = default;
};

} // namespace aerivo
