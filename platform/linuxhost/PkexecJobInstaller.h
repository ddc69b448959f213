#pragma once

#include "platform/posix/ProcessRunner.h"
#include "platform/posix/SystemPaths.h"
#include "platform/services/PrivilegedJobInstaller.h"

#include <filesystem>

namespace aerivo {

// Helper installation on a Linux host. The administrator's approval is polkit's: the calls run
// aerivo-install-helper through pkexec, which asks for it (once, and keeps it for a few minutes
// when the host has the polkit action installed, "auth_admin_keep"); aerivo-install-helper
// then does, as root, what SMJobBless and launchd do on a Mac (HelperJobPlacement). The daemon
// status is systemd's, read without privilege.
//
//   createAuthorization  0 when pkexec is there, else errAuthorizationInternal;
//   copyBlessRights      "pkexec <installer> authorize": 0, authorizationCanceled when the
//                        administrator dismissed the dialog (pkexec 126), errAuthorizationDenied
//                        when polkit refused (127), errAuthorizationInternal otherwise;
//   removeJob/blessJob   "pkexec <installer> remove|install ...", refused with
//                        authorizationFailure (4) without the right from copyBlessRights; the
//                        installer's exit code and last line of standard error become the error;
//   daemonServiceStatus  notFound without helper or units, notRegistered with a helper but no
//                        units, enabled when "systemctl is-enabled <label>.socket" says so, else
//                        requiresApproval (installed but switched off).
// Not for concurrent use: one caller at a time, as the app's installation runs.
class PkexecJobInstaller final : public PrivilegedJobInstaller {
public:
    static constexpr int authorizationFailure = 4;
    static constexpr int authorizationDenied = -60005;   // errAuthorizationDenied
    static constexpr int authorizationInternal = -60008; // errAuthorizationInternal
    // pkexec's own exit codes.
    static constexpr int pkexecDismissed = 126;
    static constexpr int pkexecNotAuthorized = 127;

    // `installer` is aerivo-install-helper: the host's copy named by the polkit action when it
    // has one, else the one inside the app bundle (defaultInstaller).
    PkexecJobInstaller(SystemPaths paths, ProcessRunner& runner, std::filesystem::path installer);

    // <root>/usr/libexec/aerivo-mac/aerivo-install-helper when it is there, else
    // <bundle>/Contents/MacOS/aerivo-install-helper.
    static std::filesystem::path defaultInstaller(const SystemPaths& paths,
                                                  const std::filesystem::path& appBundle);

    int createAuthorization() override;
    int copyBlessRights() override;
    std::optional<PrivilegedJobError> removeJob(std::string_view label) override;
    std::optional<PrivilegedJobError> blessJob(std::string_view label,
                                               const std::filesystem::path& appBundle) override;
    void freeAuthorization() override;
    int daemonServiceStatus(std::string_view plistName) override;

private:
    // pkexec <installer> <arguments...>: the exit status and the last line of standard error,
    // or the launch failure.
    std::variant<ProcessOutput, ProcessLaunchError>
    runInstaller(const std::vector<std::string>& arguments);
    std::optional<PrivilegedJobError> jobCommand(const std::vector<std::string>& arguments);

    SystemPaths paths_;
    ProcessRunner& runner_;
    std::filesystem::path installer_;
    bool hasAuthorization_ = false;
    bool hasBlessRight_ = false;
};

} // namespace aerivo
