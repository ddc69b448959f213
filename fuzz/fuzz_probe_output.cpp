// libFuzzer target for the two text parsers of the fan hardware capabilities: the
// hardware-probe lines and the smcDiagnose output. Any crash, sanitizer report or broken
// invariant (a trap) is a finding. Built only with AERIVO_BUILD_FUZZERS (see CMakeLists.txt).

#include "app/hardware/FanHardwareCapabilities.h"
#include "app/hardware/HardwareProbeLines.h"
#include "app/hardware/KnownMacFanCatalog.h"
#include "app/hardware/MacHardwareModel.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace {

using aerivo::FanHardwareCapabilities;

void require(bool condition) {
    if (!condition) {
        __builtin_trap();
    }
}

bool finiteOrAbsent(std::optional<double> value) {
    return !value || std::isfinite(*value);
}

std::string joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += line;
        text += '\n';
    }
    return text;
}

void checkProbe(std::string_view input) {
    const auto parsed = FanHardwareCapabilities::fromProbeOutput(input);
    if (!parsed) {
        return;
    }
    require(parsed->fanCount >= 0 && parsed->fanCount <= FanHardwareCapabilities::maximumFanCount);
    require(static_cast<std::size_t>(parsed->fanCount) >= parsed->fans.size());
    require(finiteOrAbsent(parsed->minimumRPM) && finiteOrAbsent(parsed->maximumRPM) &&
            finiteOrAbsent(parsed->currentRPM));
    bool nameWithEquals = false;
    for (const aerivo::FanHardwareFan& fan : parsed->fans) {
        require(fan.index >= 0 && fan.index < parsed->fanCount);
        require(finiteOrAbsent(fan.minimumRPM) && finiteOrAbsent(fan.maximumRPM) &&
                finiteOrAbsent(fan.currentRPM));
        nameWithEquals = nameWithEquals || fan.displayName.find('=') != std::string::npos;
    }
    (void)parsed->rangeText();
    (void)parsed->linkedTargetText(0.5);
    // Writing and reading back is stable once speeds are whole numbers. A fan name with "=" can
    // pose as a key in the per-fan lines of the detail, so such results are not compared.
    const auto once = FanHardwareCapabilities::fromProbeOutput(joined(aerivo::hardwareProbeLines(
        *parsed, std::string(input.substr(0, std::min<std::size_t>(input.size(), 64))))));
    if (nameWithEquals) {
        return;
    }
    require(once.has_value());
    const auto twice =
        FanHardwareCapabilities::fromProbeOutput(joined(aerivo::hardwareProbeLines(*once)));
    require(twice.has_value() && *twice == *once);
}

void checkDiagnose(std::string_view input) {
    const auto parsed = FanHardwareCapabilities::fromSMCDiagnoseOutput(input);
    if (!parsed) {
        return;
    }
    require(parsed->minimumRPM && parsed->maximumRPM && *parsed->minimumRPM < *parsed->maximumRPM);
    require(std::isfinite(*parsed->minimumRPM) && std::isfinite(*parsed->maximumRPM));
    require(finiteOrAbsent(parsed->currentRPM));
    require(parsed->fanCount >= 1 && parsed->fanCount <= FanHardwareCapabilities::maximumFanCount);
    require(parsed->fans.size() == 1 && parsed->hasRPMAxis());
}

void checkModelText(std::string_view input) {
    const std::vector<std::uint8_t> bytes(input.begin(), input.end());
    const auto name = aerivo::MacHardwareModel::registryStringFromData(bytes);
    (void)aerivo::KnownMacFanCatalog::fallbackCapabilities(
        aerivo::MacHardwareModel{.identifier = name, .productName = std::string(input)});
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    checkProbe(input);
    checkDiagnose(input);
    checkModelText(input);
    return 0;
}
