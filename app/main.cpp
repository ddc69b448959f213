// The AerivoMac executable: picks the hardware backends (the simulated Mac when its socket under
// the system root answers, otherwise none), runs a command-line action when one is asked for
// (without creating any Qt application, so the diagnostics print exactly their lines), runs the
// control loop in the terminal with --headless, and otherwise runs the menu-bar application.

#include "app/cli/CommandLineActions.h"
#include "app/cli/HeadlessSession.h"
#include "app/hardware/SMCFanHardwareController.h"
#include "app/model/AerivoPreferences.h"
#include "app/ui/AerivoMacApplication.h"
#include "platform/AsioMainLoop.h"
#include "platform/ProcessRunner.h"
#include "platform/SystemHardware.h"
#include "platform/SystemPaths.h"
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

int runHeadless(const std::vector<std::string>& arguments, SystemHardware& hardware) {
    const HeadlessSession::RefreshLimitArgument limit =
        HeadlessSession::refreshLimitArgument(arguments);
    if (limit.error) {
        std::cerr << "AerivoMac: " << *limit.error << std::endl;
        return 2;
    }
    AsioMainLoop mainLoop;
    asio::signal_set signals(mainLoop.context(), SIGINT, SIGTERM);
    signals.async_wait([&mainLoop](const std::error_code& error, int) {
        if (!error) {
            mainLoop.stop();
        }
    });

    printLine("hardware=" + hardware.description);
    auto controller =
        std::make_shared<SMCFanHardwareController>(*hardware.ioKit, *hardware.eventSystem);
    AerivoPreferences preferences(QSettingsUserDefaults::standard());
    {
        HeadlessSession session(mainLoop, controller, preferences, printLine, limit.limit,
                                [&mainLoop] { mainLoop.stop(); });
        if (!session.isFinished()) {
            mainLoop.run();
        }
    }
    std::error_code ignored;
    signals.cancel(ignored);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    try {
        const std::vector<std::string> arguments(argv, argv + argc);
        const SystemPaths paths = SystemPaths::fromEnvironment();
        SystemHardware hardware = SystemHardware::forPaths(paths);
        PosixProcessRunner processRunner;
        CommandLineActions actions(CommandLineEnvironment{*hardware.ioKit, *hardware.eventSystem,
                                                          processRunner, paths,
                                                          processEnvironment()},
                                   printLine);
        if (const std::optional<int> exitCode = actions.run(arguments)) {
            return *exitCode;
        }
        for (const std::string& argument : arguments) {
            if (argument == "--headless") {
                return runHeadless(arguments, hardware);
            }
        }
        return runMenuBarApplication(argc, argv, hardware);
    } catch (const std::exception& error) {
        std::cerr << "AerivoMac: " << error.what() << std::endl;
        return 1;
    }
}
