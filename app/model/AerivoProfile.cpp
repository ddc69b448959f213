#include "app/model/AerivoProfile.h"

#include <algorithm>
#include <cmath>
#include <span>

namespace aerivo {

namespace {

// Strict weak order on temperatures with NaN after every number, so sorting never meets the
// undefined behaviour a raw `<` over NaN would cause.
bool temperatureLess(const AerivoPoint& a, const AerivoPoint& b) {
    if (std::isnan(a.temperatureC)) {
        return false;
    }
    if (std::isnan(b.temperatureC)) {
        return true;
    }
    return a.temperatureC < b.temperatureC;
}

double interpolate(std::span<const AerivoPoint> sorted, double t, double emptyValue) {
    if (sorted.empty()) {
        return emptyValue;
    }
    const AerivoPoint& first = sorted.front();
    const AerivoPoint& last = sorted.back();
    if (t <= first.temperatureC) {
        return first.rpm;
    }
    if (last.temperatureC <= t) {
        return last.rpm;
    }
    for (std::size_t i = 0; i + 1 < sorted.size(); ++i) {
        const AerivoPoint& lower = sorted[i];
        const AerivoPoint& upper = sorted[i + 1];
        if (lower.temperatureC <= t && t <= upper.temperatureC) {
            const double width = upper.temperatureC - lower.temperatureC;
            const double fraction = width != 0.0 ? (t - lower.temperatureC) / width : 0.0;
            return lower.rpm + (upper.rpm - lower.rpm) * fraction;
        }
    }
    return last.rpm;
}

std::optional<double> finiteOrNone(std::optional<double> value) {
    if (value && std::isfinite(*value)) {
        return value;
    }
    return std::nullopt;
}

} // namespace

const AerivoProfile& AerivoProfile::balanced() {
    static const AerivoProfile profile{
        .name = "Balanced",
        .temperatureAxis = {"Temperature", "C", 30.0, 100.0},
        .rpmAxis = {"Fan speed", "RPM", 1200.0, 6200.0},
        .isFanOffThresholdEnabled = false,
        .fanOffThresholdC = defaultFanOffThresholdC,
        .safetyLimitC = 86.0,
        .points = {{35.0, 1400.0}, {52.0, 2100.0}, {68.0, 3400.0}, {82.0, 5000.0}, {94.0, 6200.0}},
    };
    return profile;
}

std::vector<AerivoPoint> AerivoProfile::sortedPoints() const {
    std::vector<AerivoPoint> sorted = points;
    std::stable_sort(sorted.begin(), sorted.end(), temperatureLess);
    return sorted;
}

double AerivoProfile::targetRPM(double temperatureC) const {
    // Profiles are nearly always stored sorted; only an unsorted one pays for a sorted copy.
    if (std::is_sorted(points.begin(), points.end(), temperatureLess)) {
        return interpolate(points, temperatureC, rpmAxis.minimum);
    }
    return interpolate(sortedPoints(), temperatureC, rpmAxis.minimum);
}

double AerivoProfile::rpmPercent(double rpm) const {
    const double position = (rpm - rpmAxis.minimum) / rpmAxis.span();
    if (std::isnan(position)) {
        return 0.0;
    }
    return std::min(std::max(position, 0.0), 1.0);
}

bool AerivoProfile::isInFanOffRange(double temperature) const {
    return isFanOffThresholdEnabled && temperature <= fanOffThresholdC;
}

ClosedRange AerivoProfile::fanOffBounds() const {
    const double lower = temperatureAxis.minimum;
    double upper = std::min(safetyLimitC - fanOffSafetyMarginC, temperatureAxis.maximum);
    if (std::isnan(upper) || upper < lower) {
        upper = lower;
    }
    return {lower, upper};
}

std::optional<AerivoPointEditingBounds> AerivoProfile::editingBounds(const Uuid& id) const {
    const auto found = std::find_if(points.begin(), points.end(),
                                    [&](const AerivoPoint& p) { return p.id == id; });
    if (found == points.end()) {
        return std::nullopt;
    }
    const auto storedIndex = static_cast<std::size_t>(found - points.begin());

    std::vector<std::size_t> order(points.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        order[i] = i;
    }
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return temperatureLess(points[a], points[b]);
    });
    std::size_t position = storedIndex;
    for (std::size_t i = 0; i < order.size(); ++i) {
        if (points[order[i]].id == id) {
            position = i;
            break;
        }
    }

    const double lower = position == 0 ? temperatureAxis.minimum
                                       : points[order[position - 1]].temperatureC + neighbourGapC;
    const double upper = position + 1 < order.size()
                             ? points[order[position + 1]].temperatureC - neighbourGapC
                             : temperatureAxis.maximum;
    ClosedRange temperature{lower, upper};
    if (temperature.isEmpty()) {
        const double current = temperatureAxis.clamped(found->temperatureC);
        temperature = {current, current};
    }
    ClosedRange rpm{rpmAxis.minimum, rpmAxis.maximum};
    if (rpm.isEmpty()) {
        rpm = {rpmAxis.maximum, rpmAxis.maximum};
    }
    return AerivoPointEditingBounds{temperature, rpm};
}

bool AerivoProfile::isNormalized() const {
    if (!std::is_sorted(points.begin(), points.end(), temperatureLess)) {
        return false;
    }
    return std::all_of(points.begin(), points.end(), [&](const AerivoPoint& p) {
        return temperatureAxis.contains(p.temperatureC) && rpmAxis.contains(p.rpm);
    });
}

void AerivoProfile::normalize() {
    std::vector<AerivoPoint> sorted = sortedPoints();
    for (AerivoPoint& point : sorted) {
        point.temperatureC = temperatureAxis.clamped(point.temperatureC);
        point.rpm = rpmAxis.clamped(point.rpm);
    }
    points = std::move(sorted);
}

void AerivoProfile::updatePoint(const Uuid& id, double temperatureC, double rpm) {
    const auto found = std::find_if(points.begin(), points.end(),
                                    [&](const AerivoPoint& p) { return p.id == id; });
    if (found == points.end()) {
        return;
    }
    const auto bounds = editingBounds(id);
    if (!bounds) {
        return;
    }
    if (std::isnan(temperatureC)) {
        temperatureC = found->temperatureC;
    }
    if (std::isnan(rpm)) {
        rpm = found->rpm;
    }
    found->temperatureC = bounds->temperature.clamp(temperatureC);
    found->rpm = bounds->rpm.clamp(rpm);
    // Bounds keep a normalized profile normalized; a memberwise-built one that was not is
    // brought into order here so an edit never leaves points out of place.
    if (!isNormalized()) {
        normalize();
    }
}

void AerivoProfile::addPoint() {
    const double t = (temperatureAxis.minimum + temperatureAxis.maximum) / 2.0;
    const double rpm = targetRPM(t);
    points.emplace_back(t, rpm);
    normalize();
}

void AerivoProfile::removeLastEditablePoint() {
    if (points.size() <= 2) {
        return;
    }
    points.pop_back();
    normalize();
}

void AerivoProfile::updateTemperatureAxis(std::optional<double> minimum,
                                          std::optional<double> maximum) {
    minimum = finiteOrNone(minimum);
    maximum = finiteOrNone(maximum);
    if (minimum) {
        temperatureAxis.minimum =
            std::min(*minimum, temperatureAxis.maximum - minimumTemperatureAxisWidth);
    }
    if (maximum) {
        temperatureAxis.maximum =
            std::max(*maximum, temperatureAxis.minimum + minimumTemperatureAxisWidth);
    }
    safetyLimitC = temperatureAxis.clamped(safetyLimitC);
    clampFanOffThreshold();
    normalize();
}

void AerivoProfile::updateRPMAxis(std::optional<double> minimum, std::optional<double> maximum) {
    minimum = finiteOrNone(minimum);
    maximum = finiteOrNone(maximum);
    if (minimum) {
        rpmAxis.minimum = std::min(*minimum, rpmAxis.maximum - minimumRPMAxisWidth);
    }
    if (maximum) {
        rpmAxis.maximum = std::max(*maximum, rpmAxis.minimum + minimumRPMAxisWidth);
    }
    normalize();
}

void AerivoProfile::applyHardwareRPMAxis(double minimum, double maximum) {
    if (!std::isfinite(minimum) || !std::isfinite(maximum) || !(minimum < maximum)) {
        return;
    }
    rpmAxis.minimum = minimum;
    rpmAxis.maximum = maximum;
    normalize();
}

void AerivoProfile::updateFanOffThresholdEnabled(bool enabled) {
    isFanOffThresholdEnabled = enabled;
    clampFanOffThreshold();
}

void AerivoProfile::updateFanOffThreshold(double value) {
    if (!std::isnan(value)) {
        fanOffThresholdC = value;
    }
    clampFanOffThreshold();
}

void AerivoProfile::clampFanOffThreshold() {
    const ClosedRange bounds = fanOffBounds();
    if (std::isnan(fanOffThresholdC)) {
        fanOffThresholdC = bounds.lower;
    }
    fanOffThresholdC = bounds.clamp(fanOffThresholdC);
}

} // namespace aerivo
