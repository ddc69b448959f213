#pragma once

#include <string>
#include <variant>
#include <vector>

namespace aerivo {

// What a finished child process left behind: its exit status (128 + signal number when a signal
// ended it) and the raw bytes of both output streams.
struct ProcessOutput {
    int exitStatus = 0;
    std::string standardOutput;
    std::string standardError;

    friend bool operator==(const ProcessOutput&, const ProcessOutput&) = default;
};

// Why a child could not be started at all.
struct ProcessLaunchError {
    std::string message;

    friend bool operator==(const ProcessLaunchError&, const ProcessLaunchError&) = default;
};

using ProcessRunResult = std::variant<ProcessOutput, ProcessLaunchError>;

// Runs one program to completion. The program is named by path (never looked up on the search
// path); environment, working directory and standard input are inherited.
class ProcessRunner {
public:
    virtual ~ProcessRunner() = default;
    virtual ProcessRunResult run(const std::string& executablePath,
                                 const std::vector<std::string>& arguments) = 0;
};

// posix_spawn with both pipes drained together through poll, so a child that fills either pipe
// never stalls waiting for the other to be read.
class PosixProcessRunner final : public ProcessRunner {
public:
    ProcessRunResult run(const std::string& executablePath,
                         const std::vector<std::string>& arguments) override;
};

} // namespace aerivo
