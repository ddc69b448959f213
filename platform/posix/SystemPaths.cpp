#include "platform/posix/SystemPaths.h"

#include <cstdlib>

namespace aerivo {

SystemPaths::SystemPaths(std::filesystem::path root, Layout layout)
    : root_(std::move(root)), layout_(layout) {
    if (root_.empty()) {
        root_ = "/";
    }
}

SystemPaths SystemPaths::fromEnvironment() {
    const char* root = std::getenv("AERIVO_SYSTEM_ROOT");
    if (root == nullptr || *root == '\0') {
        return SystemPaths("/", Layout::linuxHost);
    }
    return SystemPaths(root, Layout::mac);
}

std::filesystem::path SystemPaths::resolve(std::string_view absolutePath) const {
    while (!absolutePath.empty() && absolutePath.front() == '/') {
        absolutePath.remove_prefix(1);
    }
    return root_ / std::filesystem::path(absolutePath);
}

std::filesystem::path SystemPaths::privilegedHelperTools() const {
    return resolve(isMac() ? "/Library/PrivilegedHelperTools" : "/var/lib/aerivo-mac/helpers");
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
std::vector<std::filesystem::path> SystemPaths::mountedImages() const {
    if (isMac()) {
        return {volumes()};
    }
    // udisks mounts a user's media under /run/media/<user>, older desktops under /media.
    return {resolve("/media"), resolve("/run/media")};
}
std::filesystem::path SystemPaths::trustAnchors() const {
    return resolve(isMac() ? "/Library/Aerivo/TrustAnchors" : "/etc/aerivo-mac/trust-anchors");
}
std::filesystem::path SystemPaths::helperSocket(std::string_view label) const {
    return runtimeState() / (std::string(label) + ".sock");
}
std::filesystem::path SystemPaths::runtimeState() const {
    return resolve(isMac() ? "/var/run" : "/run");
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
