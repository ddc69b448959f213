#include "app/model/FanControlEvent.h"

namespace aerivo {

std::string_view rawValue(FanControlEvent::Kind kind) {
    switch (kind) {
    case FanControlEvent::Kind::curveLease:
        return "curveLease";
    case FanControlEvent::Kind::curveTargetTest:
        return "curveTargetTest";
    case FanControlEvent::Kind::reset:
        return "reset";
    }
    return "reset";
}

std::string_view rawValue(FanControlEvent::ResetReason reason) {
    switch (reason) {
    case FanControlEvent::ResetReason::resetToSystem:
        return "resetToSystem";
    case FanControlEvent::ResetReason::fanOffRange:
        return "fanOffRange";
    case FanControlEvent::ResetReason::termination:
        return "termination";
    }
    return "resetToSystem";
}

} // namespace aerivo
