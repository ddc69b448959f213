#pragma once

#include "app/model/Uuid.h"

namespace aerivo {

// One interactive item of the curve graph: a point or one of its two value buttons. Also a stop
// of the graph's keyboard focus chain.
struct CurveGraphItem {
    enum class Kind { point, temperatureButton, rpmButton };

    Uuid pointId;
    Kind kind = Kind::point;

    friend bool operator==(const CurveGraphItem&, const CurveGraphItem&) = default;
};

} // namespace aerivo
