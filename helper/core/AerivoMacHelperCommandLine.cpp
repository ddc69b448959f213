#include "helper/core/AerivoMacHelperCommandLine.h"

#include <algorithm>

namespace aerivo {

AerivoMacHelperCommandLine::Command
AerivoMacHelperCommandLine::command(const std::vector<std::string>& arguments) {
    const auto has = [&](std::string_view option) {
        return std::find(arguments.begin(), arguments.end(), option) != arguments.end();
    };
    if (has("--status")) {
        return Command::status;
    }
    if (has("--reset-to-system")) {
        return Command::resetToSystem;
    }
    if (has("--smc-write-probe")) {
        return Command::smcWriteProbe;
    }
    if (arguments.size() <= 1) {
        return Command::listener;
    }
    return Command::unsupported;
}

void AerivoMacHelperCommandLine::printStatus(const AerivoPrivilegedHelperStatus& status,
                                             const ExperimentalFanTargetProbe::OutputSink& output) {
    for (const std::string& line : status.lines()) {
        output(line);
    }
}

int AerivoMacHelperCommandLine::run(const std::vector<std::string>& arguments,
                                    const Environment& environment) {
    switch (command(arguments)) {
    case Command::status:
        printStatus(AerivoPrivilegedHelperStatus::status(), environment.output);
        return 0;
    case Command::resetToSystem:
        // The command line only reports: handing the fan back is the running service's job.
        printStatus(AerivoPrivilegedHelperStatus::resetAccepted(), environment.output);
        return 0;
    case Command::smcWriteProbe:
        return ExperimentalFanTargetProbe(environment.openSMC, environment.sleeper,
                                          environment.output)
            .run(arguments, environment.variables);
    case Command::listener:
        return environment.runListener();
    case Command::unsupported:
        break;
    }
    printStatus(AerivoPrivilegedHelperStatus::unsupportedCommand(), environment.output);
    return 2;
}

} // namespace aerivo
