#include "app/cli/CommandLineAction.h"

#include <algorithm>

namespace aerivo {

std::string_view rawValue(CommandLineAction action) {
    switch (action) {
    case CommandLineAction::smcMatrix:
        return "--smc-matrix";
    case CommandLineAction::installHelper:
        return "--install-helper";
    case CommandLineAction::xpcReset:
        return "--xpc-reset";
    case CommandLineAction::xpcManualTargetHold:
        return "--xpc-manual-target-hold";
    case CommandLineAction::xpcCurveRenewal:
        return "--xpc-curve-renewal";
    case CommandLineAction::helperPreflight:
        return "--helper-preflight";
    case CommandLineAction::printHardware:
        return "--print-hardware";
    }
    return "";
}

std::optional<CommandLineAction> commandLineActionFromRawValue(std::string_view text) {
    for (const CommandLineAction action : allCommandLineActions) {
        if (rawValue(action) == text) {
            return action;
        }
    }
    return std::nullopt;
}

std::optional<CommandLineAction>
requestedCommandLineAction(const std::vector<std::string>& arguments) {
    for (const CommandLineAction action : allCommandLineActions) {
        if (std::find(arguments.begin(), arguments.end(), rawValue(action)) != arguments.end()) {
            return action;
        }
    }
    return std::nullopt;
}

} // namespace aerivo
