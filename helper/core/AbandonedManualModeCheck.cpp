#include "helper/core/AbandonedManualModeCheck.h"

#include "helper/core/FanTargetLeaseController.h"

namespace aerivo {

AbandonedManualModeCheck::Result AbandonedManualModeCheck::run(SMCProbeClient* client,
                                                               const Sleeper& sleeper) {
    if (client == nullptr) {
        return {Finding::smcUnavailable, std::nullopt};
    }
    const std::optional<SMCValue> mode = client->readValue("F0md");
    if (!mode || mode->trimmedDataType() != "ui8" || mode->dataSize != 1 ||
        mode->bytes.size() != 1) {
        return {Finding::modeUnreadable, std::nullopt};
    }
    if (mode->bytes.front() == 0) {
        return {Finding::systemControl, std::nullopt};
    }
    FanTargetLeaseExecution reset = FanTargetLeaseController(*client, sleeper).resetAutomatic();
    const Finding finding = reset.exitCode == FanTargetLeaseExecution::success
                                ? Finding::handedBack
                                : Finding::handBackFailed;
    return {finding, std::move(reset)};
}

std::string AbandonedManualModeCheck::line(const Result& result) {
    switch (result.finding) {
    case Finding::systemControl:
        return "helperStartCheck=systemControl";
    case Finding::handedBack:
        return "helperStartCheck=handedBack";
    case Finding::handBackFailed:
        return "helperStartCheck=handBackFailed";
    case Finding::modeUnreadable:
        return "helperStartCheck=modeUnreadable";
    case Finding::smcUnavailable:
        return "helperStartCheck=smcUnavailable";
    }
    return "helperStartCheck=unknown";
}

} // namespace aerivo
