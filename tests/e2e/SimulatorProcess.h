#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace aerivo::testing {

// A fresh system root in the temporary folder, removed with everything in it at the end.
class TemporarySystemRoot {
public:
    TemporarySystemRoot();
    ~TemporarySystemRoot();
    TemporarySystemRoot(const TemporarySystemRoot&) = delete;
    TemporarySystemRoot& operator=(const TemporarySystemRoot&) = delete;

    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// The result of running a program to its end.
struct ProgramRun {
    int exitCode = -1;
    std::string output; // standard output and standard error together
};

// Runs a program with arguments (no shell), waits for it and collects its output.
ProgramRun runProgram(const std::filesystem::path& program,
                      const std::vector<std::string>& arguments,
                      const std::vector<std::string>& extraEnvironment = {});

// aerivo-sim-mac serving a system root, stopped (SIGTERM) and reaped when destroyed.
class SimulatorProcess {
public:
    static std::filesystem::path programPath();

    explicit SimulatorProcess(const std::filesystem::path& root,
                              std::vector<std::string> extraArguments = {});
    ~SimulatorProcess();
    SimulatorProcess(const SimulatorProcess&) = delete;
    SimulatorProcess& operator=(const SimulatorProcess&) = delete;

    // Whether the socket appeared within the bounded wait of the constructor.
    bool isServing() const { return serving_; }
    // Waits for the process to end by itself (after "ctl quit"); its exit code, or -1.
    int waitForExit();
    // `aerivo-sim-mac ctl --root <root> <arguments...>`.
    ProgramRun ctl(const std::vector<std::string>& arguments) const;

private:
    std::filesystem::path root_;
    pid_t pid_ = -1;
    bool serving_ = false;
};

} // namespace aerivo::testing
