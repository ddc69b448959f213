#include "platform/admission/PinnedProcess.h"

#include "platform/admission/ProcessFacts.h"
#include "platform/posix/BoundedJson.h"
#include "platform/posix/FileContents.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <utility>

namespace aerivo {

namespace {

std::optional<std::uint64_t> startTimeOf(pid_t pid) {
    const auto stat = readBoundedFile("/proc/" + std::to_string(pid) + "/stat", 64 * 1024);
    return stat ? procfs::startTimeFromStat(*stat) : std::nullopt;
}

} // namespace

PinnedProcess::PinnedProcess(pid_t pid, int descriptor, std::uint64_t startTime)
    : pid_(pid), descriptor_(descriptor), startTime_(startTime) {}

PinnedProcess::PinnedProcess(PinnedProcess&& other) noexcept
    : pid_(other.pid_), descriptor_(std::exchange(other.descriptor_, -1)),
      startTime_(other.startTime_) {}

PinnedProcess& PinnedProcess::operator=(PinnedProcess&& other) noexcept {
    if (this != &other) {
        if (descriptor_ >= 0) {
            ::close(descriptor_);
        }
        pid_ = other.pid_;
        descriptor_ = std::exchange(other.descriptor_, -1);
        startTime_ = other.startTime_;
    }
    return *this;
}

PinnedProcess::~PinnedProcess() {
    if (descriptor_ >= 0) {
        ::close(descriptor_);
    }
}

std::optional<PinnedProcess> PinnedProcess::pin(pid_t pid) {
    if (pid <= 0) {
        return std::nullopt;
    }
    const long descriptor = ::syscall(SYS_pidfd_open, pid, 0);
    if (descriptor >= 0) {
        return PinnedProcess(pid, static_cast<int>(descriptor), 0);
    }
    if (errno == ENOSYS) {
        return pinByStartTime(pid);
    }
    return std::nullopt;
}

std::optional<PinnedProcess> PinnedProcess::pinByStartTime(pid_t pid) {
    if (pid <= 0) {
        return std::nullopt;
    }
    const auto startTime = startTimeOf(pid);
    if (!startTime) {
        return std::nullopt;
    }
    return PinnedProcess(pid, -1, *startTime);
}

bool PinnedProcess::isStillThere() const {
    if (descriptor_ >= 0) {
        // Signal 0 only asks whether the pidfd's own process still exists.
        return ::syscall(SYS_pidfd_send_signal, descriptor_, 0, nullptr, 0) == 0;
    }
    return startTimeOf(pid_) == startTime_;
}

} // namespace aerivo
