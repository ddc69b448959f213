#pragma once

#include <filesystem>
#include <stdexcept>
#include <vector>

namespace aerivo {

// A process and the program file it is running.
struct RunningProcess {
    int processIdentifier = 0;
    // Absolute, with links resolved, as the kernel reports the running image.
    std::filesystem::path executablePath;

    friend bool operator==(const RunningProcess&, const RunningProcess&) = default;
};

// A program could not be started.
class ProcessLaunchFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Which applications run, and starting one: what the install-location guard needs to find an
// installed copy that already runs and to relaunch the installed copy.
class ApplicationProcesses {
public:
    virtual ~ApplicationProcesses() = default;

    virtual int currentProcessIdentifier() const = 0;
    // Every process whose running image can be read (this user's own), in ascending identifier
    // order. A process whose program file has been deleted or replaced is left out.
    virtual std::vector<RunningProcess> runningProcesses() const = 0;
    // Starts the program with no arguments in a session of its own and does not wait for it.
    // Returns its process identifier; throws ProcessLaunchFailure.
    virtual int launchDetached(const std::filesystem::path& executable) = 0;
};

} // namespace aerivo
