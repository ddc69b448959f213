#pragma once

#include "helper/core/ExperimentalFanTargetProbe.h"
#include "helper/core/SMCProbeClient.h"
#include "helper/core/Sleeper.h"
#include "shared/AerivoPrivilegedHelperStatus.h"

#include <functional>
#include <string>
#include <vector>

namespace aerivo {

// The AerivoMacHelper entry: started by the service manager without arguments it serves the
// helper socket for good; with an option it prints key=value lines and exits.
class AerivoMacHelperCommandLine {
public:
    // What the arguments ask for. Options are found anywhere among them; the first in this order
    // wins.
    enum class Command { status, resetToSystem, smcWriteProbe, listener, unsupported };

    struct Environment {
        SMCOpener openSMC;
        Sleeper sleeper;
        EnvironmentLookup variables;
        ExperimentalFanTargetProbe::OutputSink output;
        // Serves the helper socket; returns only when serving failed, with the exit code.
        std::function<int()> runListener;
    };

    // `arguments` includes the program path: only the program path (or nothing) is the listener.
    static Command command(const std::vector<std::string>& arguments);

    // Runs the command and returns the process's exit code: "--status" prints the status and
    // "--reset-to-system" the reset-accepted status (the fan is not touched), both 0;
    // "--smc-write-probe" the probe's code; anything unknown prints the unsupported-command
    // status and gives 2.
    static int run(const std::vector<std::string>& arguments, const Environment& environment);

    // Each line of the status's lines, in order.
    static void printStatus(const AerivoPrivilegedHelperStatus& status,
                            const ExperimentalFanTargetProbe::OutputSink& output);
};

} // namespace aerivo
