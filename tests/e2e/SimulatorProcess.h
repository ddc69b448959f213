#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
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

// A program started now and collected later (for a client that waits on something the test
// does meanwhile). Killed and reaped if never collected.
class BackgroundProgram {
public:
    BackgroundProgram(const std::filesystem::path& program,
                      const std::vector<std::string>& arguments);
    ~BackgroundProgram();
    BackgroundProgram(const BackgroundProgram&) = delete;
    BackgroundProgram& operator=(const BackgroundProgram&) = delete;

    // Waits for the end and collects the output.
    ProgramRun finish();

private:
    pid_t pid_ = -1;
    int output_ = -1;
};

// Polls `condition` every few milliseconds until it holds or `limit` has passed; whether it
// held. The bounded wait for another process to act.
bool waitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds limit = std::chrono::seconds(10));

// The output's lines, without their line breaks.
std::vector<std::string> linesOf(const std::string& text);
bool hasLine(const std::vector<std::string>& lines, const std::string& line);

// The value of the line "key=value" in key=value output, if there is one.
std::optional<std::string> lineValue(const std::string& output, std::string_view key);
// The value of " key=" inside one line of space-separated pairs; empty when it has none.
std::string fieldValue(const std::string& line, std::string_view key);

// Whether a process is alive: it exists and is not a zombie waiting to be reaped.
bool isProcessRunning(pid_t pid);

// aerivo-sim-mac serving a system root, stopped (SIGTERM) and reaped when destroyed.
class SimulatorProcess {
public:
    static std::filesystem::path programPath();

    // Standard error (the simulator's and that of the jobs it starts) goes to `errorLog` when
    // one is given, else to the test's own.
    explicit SimulatorProcess(const std::filesystem::path& root,
                              std::vector<std::string> extraArguments = {},
                              const std::optional<std::filesystem::path>& errorLog = std::nullopt);
    ~SimulatorProcess();
    SimulatorProcess(const SimulatorProcess&) = delete;
    SimulatorProcess& operator=(const SimulatorProcess&) = delete;

    // Whether the socket appeared within the bounded wait of the constructor.
    bool isServing() const { return serving_; }
    pid_t pid() const { return pid_; }
    // Waits for the process to end by itself (after "ctl quit"); its exit code, or -1.
    int waitForExit();
    // `aerivo-sim-mac ctl --root <root> <arguments...>`.
    ProgramRun ctl(const std::vector<std::string>& arguments) const;
    // The value of one `ctl status` line.
    std::optional<std::string> status(std::string_view key) const;
    // Waits until `ctl status` shows "key=value".
    bool waitForStatus(std::string_view key, std::string_view value) const;

private:
    std::filesystem::path root_;
    pid_t pid_ = -1;
    bool serving_ = false;
};

} // namespace aerivo::testing
