#pragma once

#include "app/model/Uuid.h"

namespace aerivo {

// One curve point. Its id is fixed at creation and identifies it across edits.
struct AerivoPoint {
    Uuid id = Uuid::random();
    double temperatureC = 0.0;
    double rpm = 0.0;

    AerivoPoint() = default;
    AerivoPoint(double temperatureC, double rpm) : temperatureC(temperatureC), rpm(rpm) {}
    AerivoPoint(Uuid id, double temperatureC, double rpm)
        : id(id), temperatureC(temperatureC), rpm(rpm) {}

    friend bool operator==(const AerivoPoint&, const AerivoPoint&) = default;
};

} // namespace aerivo
