#include "tools/soak/ProcessFootprint.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace aerivo::soak {

std::optional<ProcessFootprint> readFootprint(pid_t pid) {
    const std::filesystem::path folder = "/proc/" + std::to_string(pid);
    std::ifstream status(folder / "status");
    if (!status) {
        return std::nullopt;
    }
    ProcessFootprint footprint;
    bool sawThreads = false;
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("Threads:")) {
            footprint.threads = std::stoi(line.substr(8));
            sawThreads = true;
        } else if (line.starts_with("VmRSS:")) {
            footprint.residentKB = std::stol(line.substr(6));
        } else if (line.starts_with("State:") && line.find('Z') != std::string::npos) {
            return std::nullopt; // a zombie holds nothing any more
        }
    }
    std::error_code error;
    for (std::filesystem::directory_iterator entry(folder / "fd", error), end;
         !error && entry != end; entry.increment(error)) {
        ++footprint.descriptors;
    }
    if (!sawThreads || error) {
        return std::nullopt;
    }
    return footprint;
}

std::optional<ProcessFootprint> restingFootprint(pid_t pid) {
    std::optional<ProcessFootprint> quietest;
    for (int reading = 0; reading < 10; ++reading) {
        const std::optional<ProcessFootprint> now = readFootprint(pid);
        if (!now) {
            return std::nullopt;
        }
        if (!quietest || now->threads < quietest->threads ||
            (now->threads == quietest->threads && now->descriptors < quietest->descriptors)) {
            quietest = now;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return quietest;
}

} // namespace aerivo::soak
