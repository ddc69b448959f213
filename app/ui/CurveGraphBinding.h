#pragma once

#include "app/l10n/AppLanguage.h"
#include "app/model/AerivoProfile.h"
#include "app/model/Uuid.h"
#include "app/telemetry/ThermalSampleSlice.h"
#include "app/telemetry/ThermalSnapshot.h"

#include <functional>

namespace aerivo {

// What the curve graph reads and how it reports edits. Every reader is called afresh on each
// paint and each event, and nothing it returns is kept: a sample slice is valid only until the
// history next changes, which happens on every refresh tick.
struct CurveGraphBinding {
    std::function<const AerivoProfile&()> profile;
    // The binding's write, published without saving: the profile with the dragged point where
    // the pointer is, at most once per frame during a drag and once more at its end.
    std::function<void(const AerivoProfile&)> setProfile;
    std::function<const ThermalSnapshot&()> snapshot;
    std::function<ThermalSampleSlice()> temperatureSamples;
    std::function<AppLanguage()> language;
    // After the last setProfile of a drag, once per finished drag (saves it).
    std::function<void()> onEditingEnded;
    // A point moved to exact values (the point editor, an arrow key); the receiver clamps.
    std::function<void(const Uuid& id, double temperatureC, double rpm)> onPointEdited;
};

} // namespace aerivo
