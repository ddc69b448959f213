#include "platform/posix/SystemPaths.h"

#include <cstdlib>

namespace aerivo {

SystemPaths::SystemPaths(std::filesystem::path root) : root_(std::move(root)) {
    if (root_.empty()) {
        root_ = "/";
    }
}

SystemPaths SystemPaths::fromEnvironment() {
    const char* root = std::getenv("AERIVO_SYSTEM_ROOT");
    return SystemPaths(root != nullptr && *root != '\0' ? root : "/");
}

std::filesystem::path SystemPaths::resolve(std::string_view absolutePath) const {
    while (!absolutePath.empty() && absolutePath.front() == '/') {
        absolutePath.remove_prefix(1);
    }
    return root_ / std::filesystem::path(absolutePath);
}

std::filesystem::path SystemPaths::privilegedHelperTools() const {
    return resolve("/Library/PrivilegedHelperTools");
}
std::filesystem::path SystemPaths::launchDaemons() const {
    return resolve("/Library/LaunchDaemons");
}
std::filesystem::path SystemPaths::applications() const {
    return resolve("/Applications");
}
std::filesystem::path SystemPaths::volumes() const {
    return resolve("/Volumes");
}
std::filesystem::path SystemPaths::trustAnchors() const {
    return resolve("/Library/Aerivo/TrustAnchors");
}
std::filesystem::path SystemPaths::helperSocket(std::string_view label) const {
    return resolve("/var/run") / (std::string(label) + ".sock");
}
std::filesystem::path SystemPaths::smcDiagnose() const {
    return resolve("/usr/libexec/smcDiagnose");
}
std::filesystem::path SystemPaths::osascript() const {
    return resolve("/usr/bin/osascript");
}
std::filesystem::path SystemPaths::systemdUnits() const {
    return resolve("/etc/systemd/system");
}
std::filesystem::path SystemPaths::pkexec() const {
    return resolve("/usr/bin/pkexec");
}
std::filesystem::path SystemPaths::systemctl() const {
    return resolve("/usr/bin/systemctl");
}

} // namespace aerivo
