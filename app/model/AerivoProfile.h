#pragma once

#include "app/model/AerivoAxis.h"
#include "app/model/AerivoPoint.h"
#include "app/model/AerivoPointEditingBounds.h"

#include <optional>
#include <string>
#include <vector>

namespace aerivo {

// The user's fan curve: temperature-to-speed points inside two axes, an optional fan-off range
// and a safety limit. A plain value; every edit keeps the points sorted and inside both axes.
//
// Profiles built memberwise or decoded are taken as they come. Two kinds of odd data are
// absorbed rather than repaired:
//  - An inverted axis (minimum > maximum) stays inverted until an axis edit; clamping onto it
//    yields its maximum, so points collapse there and every operation stays defined.
//  - A point whose editing range would be empty (neighbours closer than 2 °C, or an inverted
//    speed axis) gets a single-value range: its current temperature, and the speed axis maximum.
//    Callers can always clamp into and display the bounds they get.
// Non-finite inputs never reach the data: NaN coordinates in a point move keep the current value,
// non-finite axis ends count as "not given", and NaN thresholds leave the threshold in place.
struct AerivoProfile {
    static constexpr double defaultFanOffThresholdC = 45.0;
    static constexpr double minimumTemperatureAxisWidth = 5.0;
    static constexpr double minimumRPMAxisWidth = 100.0;
    static constexpr double neighbourGapC = 1.0;
    static constexpr double fanOffSafetyMarginC = 1.0;

    std::string name;
    AerivoAxis temperatureAxis;
    AerivoAxis rpmAxis;
    bool isFanOffThresholdEnabled = false;
    double fanOffThresholdC = defaultFanOffThresholdC;
    double safetyLimitC = 0.0;
    std::vector<AerivoPoint> points;

    // The default profile, built once per run (its point ids are stable within a run).
    static const AerivoProfile& balanced();

    std::vector<AerivoPoint> sortedPoints() const;
    double targetRPM(double temperatureC) const;
    double rpmPercent(double rpm) const;
    double targetPercent(double temperatureC) const { return rpmPercent(targetRPM(temperatureC)); }
    bool isInFanOffRange(double temperature) const;
    ClosedRange fanOffBounds() const;
    std::optional<AerivoPointEditingBounds> editingBounds(const Uuid& id) const;

    void normalize();
    void updatePoint(const Uuid& id, double temperatureC, double rpm);
    void addPoint();
    void removeLastEditablePoint();
    void updateTemperatureAxis(std::optional<double> minimum, std::optional<double> maximum);
    void updateRPMAxis(std::optional<double> minimum, std::optional<double> maximum);
    void applyHardwareRPMAxis(double minimum, double maximum);
    void updateFanOffThresholdEnabled(bool enabled);
    void updateFanOffThreshold(double value);

    // Sorted by temperature (NaN last) with every point inside both axes.
    bool isNormalized() const;

    friend bool operator==(const AerivoProfile&, const AerivoProfile&) = default;

private:
    void clampFanOffThreshold();
};

} // namespace aerivo
