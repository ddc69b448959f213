#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>

namespace aerivo {

// Holds on to one process across a check, so that what was read about "pid N" in between can be
// known to describe a single process: a pidfd where the kernel has them (Linux 5.3 and later),
// else the process's start time (/proc/<pid>/stat). isStillThere() stays true while that same
// process lives; once it has ended, a new process under the same pid reads false.
class PinnedProcess {
public:
    // Nothing when no process has this pid.
    static std::optional<PinnedProcess> pin(pid_t pid);
    // The start-time form alone (what pin falls back to without pidfds).
    static std::optional<PinnedProcess> pinByStartTime(pid_t pid);

    PinnedProcess(PinnedProcess&& other) noexcept;
    PinnedProcess& operator=(PinnedProcess&& other) noexcept;
    PinnedProcess(const PinnedProcess&) = delete;
    PinnedProcess& operator=(const PinnedProcess&) = delete;
    ~PinnedProcess();

    pid_t pid() const { return pid_; }
    bool isStillThere() const;

private:
    PinnedProcess(pid_t pid, int descriptor, std::uint64_t startTime);

    pid_t pid_ = 0;
    int descriptor_ = -1;
    std::uint64_t startTime_ = 0;
};

} // namespace aerivo
