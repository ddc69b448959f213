// The AerivoMacHelper executable: reads and writes the SMC through this machine's hardware
// backend (the simulated Mac when its socket under the system root answers; its writes go
// through only while this image sits in the root's privileged helper tools folder) and hands
// over to the command line.

#include "helper/core/AerivoMacHelperCommandLine.h"
#include "platform/SystemHardware.h"
#include "platform/SystemPaths.h"

#include <cstdlib>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

namespace {

using namespace aerivo;

void printLine(const std::string& line) {
    // Flushed per line: the output is often a pipe read while a probe runs.
    std::cout << line << std::endl;
}

std::optional<std::string> environmentVariable(std::string_view name) {
    const char* value = std::getenv(std::string(name).c_str());
    if (value == nullptr) {
        return std::nullopt;
    }
    return std::string(value);
}

int runListener() {
    std::cerr << "AerivoMacHelper: serving the helper socket is not part of this build yet; use "
                 "--status, --reset-to-system or --smc-write-probe."
              << std::endl;
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    try {
        const std::vector<std::string> arguments(argv, argv + argc);
        const SystemPaths paths = SystemPaths::fromEnvironment();
        SystemHardware hardware = SystemHardware::forPaths(paths);
        IOKitPort& port = *hardware.ioKit;
        const AerivoMacHelperCommandLine::Environment environment{
            [&port] { return SMCProbeClient::open(port); }, threadSleeper(), environmentVariable,
            printLine, runListener};
        return AerivoMacHelperCommandLine::run(arguments, environment);
    } catch (const std::exception& error) {
        std::cerr << "AerivoMacHelper: " << error.what() << std::endl;
        return 1;
    }
}
