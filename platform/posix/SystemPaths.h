#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace aerivo {

// Every system location the product touches, under one root. On a Mac the root is "/"; the demo
// and the end-to-end tests give each run its own root in a temporary folder (AERIVO_SYSTEM_ROOT),
// so nothing outside it is touched and runs never collide.
class SystemPaths {
public:
    explicit SystemPaths(std::filesystem::path root);

    // AERIVO_SYSTEM_ROOT when set and not empty, otherwise "/".
    static SystemPaths fromEnvironment();

    const std::filesystem::path& root() const { return root_; }

    // An absolute Mac path ("/usr/libexec/smcDiagnose") placed under the root.
    std::filesystem::path resolve(std::string_view absolutePath) const;

    std::filesystem::path privilegedHelperTools() const;
    std::filesystem::path launchDaemons() const;
    std::filesystem::path applications() const;
    std::filesystem::path volumes() const;
    std::filesystem::path trustAnchors() const;
    std::filesystem::path helperSocket(std::string_view label) const;
    std::filesystem::path smcDiagnose() const;
    std::filesystem::path osascript() const;

    // A Linux host's own locations: the administrator's systemd units, the program that runs a
    // program as root after the administrator approved (pkexec) and the service manager's tool.
    std::filesystem::path systemdUnits() const;
    std::filesystem::path pkexec() const;
    std::filesystem::path systemctl() const;

private:
    std::filesystem::path root_;
};

} // namespace aerivo
