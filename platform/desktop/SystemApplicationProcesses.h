#pragma once

#include "platform/services/ApplicationProcesses.h"

namespace aerivo {

// Processes from /proc (each one's "exe" link) and posix_spawn.
class SystemApplicationProcesses final : public ApplicationProcesses {
public:
    explicit SystemApplicationProcesses(std::filesystem::path procRoot = "/proc");

    int currentProcessIdentifier() const override;
    std::vector<RunningProcess> runningProcesses() const override;
    int launchDetached(const std::filesystem::path& executable) override;

private:
    std::filesystem::path procRoot_;
};

} // namespace aerivo
