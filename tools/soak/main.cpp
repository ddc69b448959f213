// aerivo-soak: the simulated Mac, its service-managed helper and the headless app in curve mode
// under a seeded schedule of workload changes, take-backs, kills and bursts of unsigned clients.
//
//   aerivo-soak [--seconds N | --minutes N] [--seed N] [--burst N] [--quiet | --verbose]
//
// Prints its figures as key=value lines and exits 0 when the soak passed, 1 when it did not and
// 2 for bad arguments.

#include "tools/soak/SoakRun.h"

#include <csignal>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

namespace {

std::optional<double> number(const std::string& text) {
    try {
        std::size_t used = 0;
        const double value = std::stod(text, &used);
        return used == text.size() && value > 0 ? std::optional(value) : std::nullopt;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

} // namespace

int main(int argc, char** argv) {
    std::signal(SIGPIPE, SIG_IGN);
    aerivo::soak::SoakOptions options;
    options.simulatorProgram = AERIVO_SIM_MAC_PATH;
    options.appProgram =
        std::filesystem::path(AERIVO_APP_BUNDLE_PATH) / "Contents" / "MacOS" / "AerivoMac";
    bool quiet = false;
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& name = arguments[i];
        if (name == "--quiet") {
            quiet = true;
            continue;
        }
        if (name == "--verbose") {
            options.verbose = true;
            continue;
        }
        const std::optional<double> value =
            i + 1 < arguments.size() ? number(arguments[i + 1]) : std::nullopt;
        if (!value) {
            std::cerr << "usage: aerivo-soak [--seconds N | --minutes N] [--seed N] [--burst N] "
                         "[--quiet | --verbose]\n";
            return 2;
        }
        ++i;
        if (name == "--seconds") {
            options.durationSeconds = *value;
        } else if (name == "--minutes") {
            options.durationSeconds = *value * 60;
        } else if (name == "--seed") {
            options.seed = static_cast<std::uint64_t>(*value);
        } else if (name == "--burst") {
            options.burstConnections = static_cast<int>(*value);
        } else {
            std::cerr << "aerivo-soak: unknown option " << name << "\n";
            return 2;
        }
    }
    if (!quiet) {
        options.progress = [](const std::string& line) { std::cerr << line << std::endl; };
    }
    const aerivo::soak::SoakReport report = aerivo::soak::runSoak(options);
    for (const std::string& line : report.lines()) {
        std::cout << line << "\n";
    }
    return report.passed() ? 0 : 1;
}
