#pragma once

#include "shared/LaunchDaemonDefinition.h"

#include <sys/types.h>

#include <filesystem>

namespace aerivo {

// Starts a job the way launchd's socket activation does: a child process running the
// definition's program with `listeningFd` as descriptor 3 and no other descriptor open,
// LISTEN_FDS=1, LISTEN_PID=<its own pid>, LISTEN_FDNAMES=<label>, AERIVO_SYSTEM_ROOT=<root>, the
// default signal dispositions, the working folder "/", and death with the simulator
// (PR_SET_PDEATHSIG). The child's pid, or -1 with errno set when fork failed; a program that
// cannot be executed makes the child write why on standard error and exit 127.
pid_t startSocketActivatedJob(const LaunchDaemonDefinition& definition,
                              const std::filesystem::path& root, int listeningFd);

} // namespace aerivo
