#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace aerivo {

// Whether the machine has a fan this program can drive.
//  - supported: at least one controllable fan.
//  - unsupportedNoFan: no fan, or a model treated as fanless.
//  - unavailable: nothing could be learned.
enum class FanHardwareSupportStatus { supported, unsupportedNoFan, unavailable };

inline constexpr std::array<FanHardwareSupportStatus, 3> allFanHardwareSupportStatuss{
    FanHardwareSupportStatus::supported, FanHardwareSupportStatus::unsupportedNoFan,
    FanHardwareSupportStatus::unavailable};

// "supported", "unsupportedNoFan" or "unavailable".
std::string_view rawValue(FanHardwareSupportStatus status);
// Exact match of a raw value only.
std::optional<FanHardwareSupportStatus> fanHardwareSupportStatusFromRawValue(std::string_view raw);

} // namespace aerivo
