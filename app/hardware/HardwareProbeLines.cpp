#include "app/hardware/HardwareProbeLines.h"

#include "app/hardware/DiagnosticText.h"

#include <cmath>
#include <cstdint>

namespace aerivo {

namespace text = diagnostic_text;

namespace {

// Line breaks replaced, but no trimming: names and sources are carried as written.
std::string withoutLineBreaks(std::string_view value) {
    std::string result;
    result.reserve(value.size());
    for (std::size_t position = 0; position < value.size();) {
        const text::DecodedCodePoint decoded = text::decodeAt(value, position);
        if (text::isLineBreak(decoded.value)) {
            result += ' ';
        } else {
            result.append(value.substr(position, decoded.length));
        }
        position += decoded.length;
    }
    return result;
}

} // namespace

std::string probeValue(std::optional<double> rpm) {
    if (!rpm || !std::isfinite(*rpm)) {
        return "nil";
    }
    const double rounded = std::round(*rpm); // halves away from zero
    // 2^63 is exactly representable; everything strictly inside (-2^63, 2^63) converts.
    constexpr double limit = 9223372036854775808.0;
    if (!(rounded > -limit && rounded < limit)) {
        return "nil";
    }
    return std::to_string(static_cast<std::int64_t>(rounded)); // never "-0"
}

std::string singleLine(std::string_view value) {
    const std::string flattened = withoutLineBreaks(value);
    return std::string(text::trimWhitespace(flattened));
}

std::vector<std::string> hardwareProbeLines(const FanHardwareCapabilities& capabilities,
                                            const std::optional<std::string>& fallbackStatus) {
    std::vector<std::string> lines;
    lines.reserve(9 + capabilities.fans.size() * 5);
    lines.push_back("fanCount=" + std::to_string(capabilities.fanCount));
    lines.push_back("minimumRPM=" + probeValue(capabilities.minimumRPM));
    lines.push_back("maximumRPM=" + probeValue(capabilities.maximumRPM));
    lines.push_back("currentRPM=" + probeValue(capabilities.currentRPM));
    lines.push_back("range=" + withoutLineBreaks(capabilities.rangeText()));
    const std::vector<std::string> detailLines = capabilities.detailLines();
    std::string detail;
    for (std::size_t i = 0; i < detailLines.size(); ++i) {
        detail += i == 0 ? "" : "\n";
        detail += withoutLineBreaks(detailLines[i]);
    }
    lines.push_back("detail=" + detail);
    lines.push_back("source=" + withoutLineBreaks(capabilities.source));
    lines.push_back("supportStatus=" + std::string(rawValue(capabilities.supportStatus)));
    for (const FanHardwareFan& fan : capabilities.fans) {
        const std::string prefix = "fan" + std::to_string(fan.index);
        lines.push_back(prefix + "Name=" + withoutLineBreaks(fan.displayName));
        lines.push_back(prefix + "MinimumRPM=" + probeValue(fan.minimumRPM));
        lines.push_back(prefix + "MaximumRPM=" + probeValue(fan.maximumRPM));
        lines.push_back(prefix + "CurrentRPM=" + probeValue(fan.currentRPM));
        lines.push_back(prefix + "Source=" + withoutLineBreaks(fan.source));
    }
    if (fallbackStatus) {
        lines.push_back("fallback=" + singleLine(*fallbackStatus));
    }
    return lines;
}

} // namespace aerivo
