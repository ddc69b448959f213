#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace aerivo {

// Every system location the product touches, under one root, in one of two layouts:
//   mac        the Mac's own places (/Library/PrivilegedHelperTools, /var/run, /Applications,
//              /Volumes); the simulated Mac lives under a root of its own, a temporary folder
//              for the demo and each end-to-end test, so nothing outside it is touched;
//   linuxHost  a Linux host's places after the FHS: the installed helper in
//              /var/lib/aerivo-mac/helpers, the trusted anchors in /etc/aerivo-mac/trust-anchors,
//              sockets and records in /run, mounted images under /media and /run/media.
class SystemPaths {
public:
    enum class Layout { mac, linuxHost };

    explicit SystemPaths(std::filesystem::path root, Layout layout = Layout::mac);

    // AERIVO_SYSTEM_ROOT, when set and not empty, names a simulated Mac: its layout under that
    // root. Otherwise the program runs on this Linux host: its layout at "/".
    static SystemPaths fromEnvironment();

    const std::filesystem::path& root() const { return root_; }
    Layout layout() const { return layout_; }

    // An absolute Mac path ("/usr/libexec/smcDiagnose") placed under the root.
    std::filesystem::path resolve(std::string_view absolutePath) const;

    std::filesystem::path privilegedHelperTools() const;
    std::filesystem::path launchDaemons() const;
    std::filesystem::path applications() const;
    std::filesystem::path volumes() const;
    std::filesystem::path trustAnchors() const;
    // Where mounted disk images appear: /Volumes on a Mac; /media and /run/media on a Linux host.
    std::vector<std::filesystem::path> mountedImages() const;
    std::filesystem::path helperSocket(std::string_view label) const;
    // Runtime records that a reboot must clear: /var/run on a Mac, /run on a Linux host.
    std::filesystem::path runtimeState() const;
    std::filesystem::path smcDiagnose() const;
    std::filesystem::path osascript() const;

    // A Linux host's own locations: the administrator's systemd units, the program that runs a
    // program as root after the administrator approved (pkexec) and the service manager's tool.
    std::filesystem::path systemdUnits() const;
    std::filesystem::path pkexec() const;
    std::filesystem::path systemctl() const;

private:
    bool isMac() const { return layout_ == Layout::mac; }

    std::filesystem::path root_;
    Layout layout_;
};

} // namespace aerivo
