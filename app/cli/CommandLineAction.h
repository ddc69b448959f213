#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace aerivo {

// The command line's action flags, in the order they are tested; the raw value is the flag.
enum class CommandLineAction {
    smcMatrix,
    installHelper,
    xpcReset,
    xpcManualTargetHold,
    xpcCurveRenewal,
    helperPreflight,
    printHardware,
};

inline constexpr std::array<CommandLineAction, 7> allCommandLineActions{
    CommandLineAction::smcMatrix,       CommandLineAction::installHelper,
    CommandLineAction::xpcReset,        CommandLineAction::xpcManualTargetHold,
    CommandLineAction::xpcCurveRenewal, CommandLineAction::helperPreflight,
    CommandLineAction::printHardware,
};

std::string_view rawValue(CommandLineAction action);
std::optional<CommandLineAction> commandLineActionFromRawValue(std::string_view text);

// The first action, in table order, whose flag equals (exactly, case-sensitively) any argument;
// the program path counts like any other element. Later flags are ignored.
std::optional<CommandLineAction>
requestedCommandLineAction(const std::vector<std::string>& arguments);

} // namespace aerivo
