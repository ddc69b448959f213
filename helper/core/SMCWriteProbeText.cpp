#include "helper/core/SMCWriteProbeText.h"

#include "shared/KernelReturn.h"

#include <array>
#include <cmath>
#include <cstdio>

namespace aerivo {

std::string SMCWriteProbeText::line(std::string_view name, std::string_view value) {
    std::string text = "smcWriteProbe";
    text += name;
    text += '=';
    text += value;
    return text;
}

std::string SMCWriteProbeText::rpm(std::optional<double> rpm) {
    if (!rpm) {
        return "nil";
    }
    if (std::isnan(*rpm)) {
        return "nan";
    }
    if (std::isinf(*rpm)) {
        return *rpm > 0 ? "inf" : "-inf";
    }
    // Adding zero turns a rounded -0 into 0.
    const double rounded = std::round(*rpm) + 0.0;
    // The largest double has 309 integer digits.
    std::array<char, 320> buffer{};
    std::snprintf(buffer.data(), buffer.size(), "%.0f", rounded);
    return buffer.data();
}

std::string SMCWriteProbeText::bytes(const std::vector<std::uint8_t>& bytes) {
    std::string text;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::array<char, 3> digits{};
        std::snprintf(digits.data(), digits.size(), "%02X", static_cast<unsigned>(bytes[i]));
        if (i > 0) {
            text.push_back(' ');
        }
        text += digits.data();
    }
    return text;
}

void SMCWriteProbeText::appendWriteResult(std::vector<std::string>& lines, std::string_view name,
                                          const FanTargetWriteResult& result) {
    const std::string prefix(name);
    lines.push_back(line(prefix + "KernelResult", kernelResultText(result.kernelResult)));
    lines.push_back(line(prefix + "SMCResult", std::to_string(result.smcResult)));
}

} // namespace aerivo
