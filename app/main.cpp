// The AerivoMac executable: picks the hardware backends (the simulated Mac when its socket under
// the system root answers, else the SMC through hwmon, otherwise none), runs a command-line
// action when one is asked for (without creating any Qt application, so the diagnostics print
// exactly their lines), runs the control loop in the terminal with --headless, and otherwise
// runs the menu-bar application.

#include "app/cli/CommandLineActions.h"
#include "app/cli/HeadlessSession.h"
#include "app/cli/TemperatureSensorChoice.h"
#include "app/hardware/SMCFanHardwareController.h"
#include "app/helperclient/StandardPrivilegedHelperClient.h"
#include "app/model/AerivoPreferences.h"
#include "app/telemetry/HIDTemperatureTelemetryClient.h"
#include "app/ui/AerivoMacApplication.h"
#include "platform/desktop/ApplicationBundle.h"
#include "platform/hardware/SystemHardware.h"
#include "platform/mainloop/AsioMainLoop.h"
#include "platform/mainloop/DetachedTask.h"
#include "platform/posix/ProcessImage.h"
#include "platform/posix/ProcessRunner.h"
#include "platform/posix/SystemPaths.h"
#include "platform/qt/QSettingsUserDefaults.h"

#include <asio/signal_set.hpp>

#include <csignal>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

namespace {

using namespace aerivo;

void printLine(const std::string& line) {
    // Flushed per line: the output is often a pipe read while the program runs.
    std::cout << line << std::endl;
}

int runHeadless(const std::vector<std::string>& arguments, SystemHardware& hardware,
                const SystemPaths& paths, const ApplicationBundle& bundle,
                const AerivoPreferences& preferences,
                const std::optional<std::string>& temperatureSensor) {
    const HeadlessSession::Arguments parsed = HeadlessSession::parseArguments(arguments);
    if (parsed.error) {
        std::cerr << "AerivoMac: " << *parsed.error << std::endl;
        return 2;
    }
    AsioMainLoop mainLoop;
    // Installed before the store is built, so a signal during start-up is not the default
    // (immediate) end: it is handled once the loop runs, and the quit reset still goes out.
    asio::signal_set signals(mainLoop.context(), SIGINT, SIGTERM);
    signals.async_wait([&mainLoop](const std::error_code& error, int) {
        if (!error) {
            mainLoop.stop();
        }
    });

    printLine("hardware=" + hardware.description);
    auto controller = std::make_shared<SMCFanHardwareController>(
        *hardware.ioKit, *hardware.eventSystem, nullptr,
        std::make_unique<HIDTemperatureTelemetryClient>(*hardware.eventSystem, temperatureSensor));
    // Without a window there is no login item to switch and no update to offer: those two stay
    // the store's unavailable stand-ins.
    AerivoStoreCollaborators collaborators;
    collaborators.controller = controller;
    collaborators.helperClient = makeStandardPrivilegedHelperClient(bundle, paths);
    collaborators.systemPaths = paths;
    {
        HeadlessSession session(mainLoop, std::move(collaborators), preferences, printLine,
                                parsed.options, [&mainLoop] { mainLoop.stop(); });
        // Runs until a signal, or until the refresh limit's `finished` stops it.
        mainLoop.run();
        // However the loop ended (a signal, the refresh limit), the app hands the fan back
        // before it exits, as its quit does.
        session.end();
    }
    std::error_code ignored;
    signals.cancel(ignored);
    return 0;
}

int runAerivoMac(int argc, char** argv) {
    try {
        const std::vector<std::string> arguments(argv, argv + argc);
        const SystemPaths paths = SystemPaths::fromEnvironment();
        SystemHardware hardware = SystemHardware::forPaths(paths);
        PosixProcessRunner processRunner;
        const ApplicationBundle bundle =
            ApplicationBundle::forExecutable(currentExecutablePath().value_or(""));
        const AerivoPreferences preferences(QSettingsUserDefaults::standard());
        const TemperatureSensorChoice sensorChoice =
            TemperatureSensorChoice::apply(arguments, preferences);
        if (sensorChoice.error) {
            std::cerr << "AerivoMac: " << *sensorChoice.error << std::endl;
            return 2;
        }
        if (sensorChoice.line) {
            printLine(*sensorChoice.line);
        }
        CommandLineActions actions(
            CommandLineEnvironment{
                *hardware.ioKit, *hardware.eventSystem, processRunner, paths, processEnvironment(),
                hardware.description,
                [&bundle, &paths] { return makeStandardPrivilegedHelperClient(bundle, paths); },
                sensorChoice.sensor},
            printLine);
        if (const std::optional<int> exitCode = actions.run(arguments)) {
            return *exitCode;
        }
        for (const std::string& argument : arguments) {
            if (argument == "--headless") {
                return runHeadless(arguments, hardware, paths, bundle, preferences,
                                   sensorChoice.sensor);
            }
        }
        return runMenuBarApplication(argc, argv, hardware, paths);
    } catch (const std::exception& error) {
        std::cerr << "AerivoMac: " << error.what() << std::endl;
        return 1;
    }
}

} // namespace

int main(int argc, char** argv) {
    // A helper call or an update check may outlast the quit; the process must not free what they
    // still use on its way out.
    aerivo::endProcess(runAerivoMac(argc, argv));
}
