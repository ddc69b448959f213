// Random edit sequences through a profile, checking after every step the invariants that the
// views and the store rely on: points sorted and inside both axes, at least two points, the
// fan-off threshold inside its bounds and editing bounds that can always be clamped into.
#include "app/model/AerivoProfile.h"
#include "app/model/CurvePreset.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <sstream>

namespace aerivo {
namespace {

class EditDriver {
public:
    explicit EditDriver(unsigned seed) : random_(seed) {}

    double anyValue(double low, double high) {
        switch (pick(12)) {
        case 0:
            return std::numeric_limits<double>::quiet_NaN();
        case 1:
            return std::numeric_limits<double>::infinity();
        case 2:
            return -std::numeric_limits<double>::infinity();
        case 3:
            return std::uniform_real_distribution<double>(-1e6, 1e6)(random_);
        default:
            return std::uniform_real_distribution<double>(low, high)(random_);
        }
    }

    std::optional<double> maybeValue(double low, double high) {
        if (pick(3) == 0) {
            return std::nullopt;
        }
        return anyValue(low, high);
    }

    // True when the last step edited the speed axis, after which it must be 100 rpm wide.
    bool rpmAxisWasEdited() const { return rpmAxisWasEdited_; }

    std::string apply(AerivoProfile& profile) {
        rpmAxisWasEdited_ = false;
        std::ostringstream step;
        switch (pick(9)) {
        case 0:
        case 1:
        case 2: {
            Uuid id = Uuid::random();
            if (!profile.points.empty() && pick(10) != 0) {
                id = profile.points[pick(static_cast<int>(profile.points.size()))].id;
            }
            const double t = anyValue(0, 120);
            const double rpm = anyValue(0, 8000);
            profile.updatePoint(id, t, rpm);
            step << "updatePoint(" << t << ", " << rpm << ")";
            break;
        }
        case 3:
            profile.addPoint();
            step << "addPoint";
            break;
        case 4:
            profile.removeLastEditablePoint();
            step << "removeLastEditablePoint";
            break;
        case 5: {
            const auto min = maybeValue(0, 120);
            const auto max = maybeValue(0, 120);
            profile.updateTemperatureAxis(min, max);
            step << "updateTemperatureAxis(" << min.value_or(-0.0) << ", " << max.value_or(-0.0)
                 << ")";
            break;
        }
        case 6: {
            const auto min = maybeValue(0, 8000);
            const auto max = maybeValue(0, 8000);
            profile.updateRPMAxis(min, max);
            step << "updateRPMAxis";
            // With neither end given (or only non-finite ones) the axis is left as it was.
            rpmAxisWasEdited_ = (min && std::isfinite(*min)) || (max && std::isfinite(*max));
            break;
        }
        case 7: {
            const double min = anyValue(0, 8000);
            const double max = anyValue(0, 8000);
            profile.applyHardwareRPMAxis(min, max);
            step << "applyHardwareRPMAxis(" << min << ", " << max << ")";
            break;
        }
        default:
            if (pick(2) == 0) {
                profile.updateFanOffThresholdEnabled(pick(2) == 0);
                step << "updateFanOffThresholdEnabled";
            } else {
                const double value = anyValue(0, 120);
                profile.updateFanOffThreshold(value);
                step << "updateFanOffThreshold(" << value << ")";
            }
            break;
        }
        return step.str();
    }

private:
    int pick(int count) { return std::uniform_int_distribution<int>(0, count - 1)(random_); }

    std::mt19937 random_;
    bool rpmAxisWasEdited_ = false;
};

AerivoProfile startingProfile(unsigned seed) {
    return profile(allCurvePresets[seed % allCurvePresets.size()]);
}

// (min + 5) - min can come out one rounding step short of 5.
constexpr double widthTolerance = 1e-9;

void expectInvariants(const AerivoProfile& profile, const std::string& history) {
    ASSERT_TRUE(profile.isNormalized()) << history;
    ASSERT_GE(profile.points.size(), 2u) << history;
    for (const AerivoPoint& point : profile.points) {
        ASSERT_TRUE(std::isfinite(point.temperatureC)) << history;
        ASSERT_TRUE(std::isfinite(point.rpm)) << history;
    }
    const ClosedRange fanOff = profile.fanOffBounds();
    ASSERT_FALSE(fanOff.isEmpty()) << history;
    ASSERT_TRUE(fanOff.contains(profile.fanOffThresholdC)) << history;
    ASSERT_TRUE(std::isfinite(profile.safetyLimitC)) << history;
    ASSERT_GE(profile.temperatureAxis.maximum - profile.temperatureAxis.minimum,
              5.0 - widthTolerance)
        << history;
    ASSERT_LT(profile.rpmAxis.minimum, profile.rpmAxis.maximum) << history;
    for (const AerivoPoint& point : profile.points) {
        const auto bounds = profile.editingBounds(point.id);
        ASSERT_TRUE(bounds.has_value()) << history;
        ASSERT_FALSE(bounds->temperature.isEmpty()) << history;
        ASSERT_FALSE(bounds->rpm.isEmpty()) << history;
    }
    const double target = profile.targetRPM(60);
    ASSERT_TRUE(profile.rpmAxis.contains(target)) << history;
    const double percent = profile.rpmPercent(target);
    ASSERT_GE(percent, 0.0) << history;
    ASSERT_LE(percent, 1.0) << history;
}

TEST(AerivoProfileProperties, RandomEditSequencesKeepEveryInvariant) {
    for (unsigned seed = 1; seed <= 2000; ++seed) {
        EditDriver driver(seed);
        AerivoProfile profile = startingProfile(seed);
        std::string history = "seed " + std::to_string(seed) + ":";
        for (int step = 0; step < 30; ++step) {
            history += " " + driver.apply(profile);
            expectInvariants(profile, history);
            if (driver.rpmAxisWasEdited()) {
                ASSERT_GE(profile.rpmAxis.maximum - profile.rpmAxis.minimum, 100.0 - widthTolerance)
                    << history;
            }
            if (HasFatalFailure()) {
                return;
            }
        }
    }
}

} // namespace
} // namespace aerivo
