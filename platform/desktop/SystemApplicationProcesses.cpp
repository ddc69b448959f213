#include "platform/desktop/SystemApplicationProcesses.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <spawn.h>
#include <string_view>
#include <unistd.h>

extern char** environ;

namespace aerivo {

namespace {

std::optional<int> processIdentifier(std::string_view name) {
    int value = 0;
    const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), value);
    if (error != std::errc() || end != name.data() + name.size() || value <= 0) {
        return std::nullopt;
    }
    return value;
}

} // namespace

SystemApplicationProcesses::SystemApplicationProcesses(std::filesystem::path procRoot)
    : procRoot_(std::move(procRoot)) {}

int SystemApplicationProcesses::currentProcessIdentifier() const {
    return static_cast<int>(::getpid());
}

std::vector<RunningProcess> SystemApplicationProcesses::runningProcesses() const {
    std::vector<RunningProcess> processes;
    std::error_code error;
    for (std::filesystem::directory_iterator entry(procRoot_, error), end; !error && entry != end;
         entry.increment(error)) {
        const auto pid = processIdentifier(entry->path().filename().string());
        if (!pid) {
            continue;
        }
        // Other users' images cannot be read, and a process may end while the folder is walked;
        // either way it is simply not listed.
        std::error_code unreadable;
        std::filesystem::path image =
            std::filesystem::read_symlink(entry->path() / "exe", unreadable);
        if (unreadable || image.empty() || image.string().ends_with(" (deleted)")) {
            continue;
        }
        processes.push_back({*pid, std::move(image)});
    }
    std::sort(processes.begin(), processes.end(),
              [](const RunningProcess& a, const RunningProcess& b) {
                  return a.processIdentifier < b.processIdentifier;
              });
    return processes;
}

int SystemApplicationProcesses::launchDetached(const std::filesystem::path& executable) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // The new copy reads nothing from whatever terminal started this one.
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // A session of its own, so this copy's terminal closing or its process group being signalled
    // does not take the relaunched application along.
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);

    std::string program = executable.string();
    char* argv[] = {program.data(), nullptr};
    pid_t pid = -1;
    const int error = ::posix_spawn(&pid, program.c_str(), &actions, &attributes, argv, environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) {
        throw ProcessLaunchFailure("The application \"" + program +
                                   "\" could not be opened: " + std::strerror(error));
    }
    return static_cast<int>(pid);
}

} // namespace aerivo
