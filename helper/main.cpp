// The AerivoMacHelper executable: reads and writes the SMC through this machine's hardware
// backend (the simulated Mac when its socket under the system root answers, else a real SMC
// through hwmon; writes go through only while this image sits in the root's privileged helper
// tools folder) and hands over to the command line, which without arguments serves the helper
// socket for good.

#include "helper/core/AerivoMacHelperCommandLine.h"
#include "helper/core/AerivoPrivilegedHelperXPCListener.h"
#include "helper/core/AerivoPrivilegedHelperXPCService.h"
#include "platform/codesign/OpenSSLCodeSigning.h"
#include "platform/hardware/SystemHardware.h"
#include "platform/hwmon/write/HwmonFanWriter.h"
#include "platform/mainloop/WorkerSerialQueue.h"
#include "platform/posix/ProcessImage.h"
#include "platform/posix/SystemPaths.h"

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

// The service on its lease queue behind the listener, for the life of the process.
[[noreturn]] void runListener(const SystemPaths& paths, const SMCOpener& openSMC) {
    WorkerSerialQueue leaseQueue(AerivoPrivilegedHelperXPCService::leaseQueueLabel());
    const auto service =
        AerivoPrivilegedHelperXPCService::make(openSMC, leaseQueue, threadSleeper());
    const auto log = [](const std::string& line) {
        std::cerr << "AerivoMacHelper: " << line << std::endl;
    };
    service->setEventLog(log);
    // A fan an earlier helper left in manual mode goes back before any request is served.
    service->checkForAbandonedManualMode(log);
    AerivoPrivilegedHelperXPCListener listener(
        service, std::make_shared<OpenSSLCodeSigning>(paths.trustAnchors()));
    listener.run(paths);
}

} // namespace

int main(int argc, char** argv) {
    try {
        const std::vector<std::string> arguments(argv, argv + argc);
        const SystemPaths paths = SystemPaths::fromEnvironment();
        // Only the installed helper gets the hwmon fan writer; any other copy of this image
        // reads, as the app does.
        SystemHardware hardware = SystemHardware::forPaths(
            paths, SystemHardware::isPrivilegedHelperImage(paths, currentExecutablePath())
                       ? HwmonFanWriter::factory()
                       : HwmonFanWriterFactory{});
        IOKitPort& port = *hardware.ioKit;
        const SMCOpener openSMC = [&port] { return SMCProbeClient::open(port); };
        const AerivoMacHelperCommandLine::Environment environment{
            openSMC, threadSleeper(), environmentVariable, printLine,
            [&]() -> int { runListener(paths, openSMC); }};
        return AerivoMacHelperCommandLine::run(arguments, environment);
    } catch (const std::exception& error) {
        std::cerr << "AerivoMacHelper: " << error.what() << std::endl;
        return 1;
    }
}
