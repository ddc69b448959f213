#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace aerivo::testing {

// A child program kept running for a test (a client to admit, a peer to inspect): started with
// posix_spawn, its standard output on a pipe the test reads line by line (standard error goes
// nowhere), killed (SIGKILL) and reaped when the object goes.
class RunningProcess {
public:
    RunningProcess(const std::filesystem::path& program, std::vector<std::string> arguments = {},
                   const std::vector<std::string>& extraEnvironment = {});
    ~RunningProcess();
    RunningProcess(const RunningProcess&) = delete;
    RunningProcess& operator=(const RunningProcess&) = delete;

    // -1 when the program could not be started.
    pid_t pid() const { return pid_; }
    // The next line the program writes, without its line break; empty when its output ended.
    // Blocks until the line is complete: the programs tests start write theirs at once.
    std::string readLine();
    // Kills and reaps the process now; pid() keeps the old number (for "gone" tests).
    void stop();

private:
    pid_t pid_ = -1;
    int output_ = -1;
    bool running_ = false;
    std::string buffered_;
};

} // namespace aerivo::testing
