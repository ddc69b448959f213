#include "app/hardware/FanHardwareFan.h"

#include "app/l10n/Formatters.h"

#include <algorithm>
#include <cmath>

namespace aerivo {

bool FanHardwareFan::hasRPMAxis() const {
    return minimumRPM.has_value() && maximumRPM.has_value() && *minimumRPM < *maximumRPM;
}

std::string FanHardwareFan::rangeText() const {
    if (!minimumRPM || !maximumRPM) {
        return "Unavailable";
    }
    return Formatters::rpm(*minimumRPM) + " - " + Formatters::rpm(*maximumRPM);
}

std::string FanHardwareFan::detailText() const {
    std::string text = displayName + ": " + rangeText();
    if (currentRPM) {
        text += ", " + Formatters::rpm(*currentRPM) + " now";
    }
    return text;
}

std::optional<double> FanHardwareFan::targetRPM(double linkedFraction) const {
    if (!hasRPMAxis() || std::isnan(linkedFraction)) {
        return std::nullopt;
    }
    const double fraction = std::clamp(linkedFraction, 0.0, 1.0);
    return *minimumRPM + fraction * (*maximumRPM - *minimumRPM);
}

} // namespace aerivo
