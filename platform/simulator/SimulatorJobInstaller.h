#pragma once

#include "platform/codesign/CodeSigning.h"
#include "platform/posix/SystemPaths.h"
#include "platform/services/PrivilegedJobInstaller.h"
#include "platform/simulator/SimulatorConnection.h"

#include <memory>

namespace aerivo {

// Helper installation on the simulated Mac. The approval agent of aerivo-sim-mac plays the
// administrator's dialog and its service manager plays launchd; the files are placed by this
// process, since the simulated root belongs to the user running it (on a Mac the blessed helper
// is owned by root; here it is owned by that user, mode 0544 as on the Mac).
//
// Error codes are ServiceManagement's (kSMError...): 2 internal failure (a file could not be
// written), 3 invalid signature, 4 authorization failure (no authorization holding the bless
// right), 5 tool not valid (no bundled helper, no requirement for it, a bad label), 6 job not
// found, 7 service unavailable (the simulator's service manager cannot be reached), 8 the
// helper's signature carries no launchd property list, 10 invalid property list.
//
// Not for concurrent use: one caller at a time, as the app's installation runs.
class SimulatorJobInstaller final : public PrivilegedJobInstaller {
public:
    static constexpr int internalFailure = 2;
    static constexpr int invalidSignature = 3;
    static constexpr int authorizationFailure = 4;
    static constexpr int toolNotValid = 5;
    static constexpr int serviceUnavailable = 7;
    static constexpr int jobPlistNotFound = 8;
    static constexpr int invalidPlist = 10;
    // errAuthorizationInvalidRef: the rights were asked for without an authorization.
    static constexpr int authorizationInvalidRef = -60002;
    // errAuthorizationInteractionNotAllowed: no approval agent could be asked.
    static constexpr int authorizationInteractionNotAllowed = -60007;
    static constexpr const char* blessRight = "com.apple.ServiceManagement.blesshelper";

    SimulatorJobInstaller(SystemPaths paths, const CodeSigning& signing);

    int createAuthorization() override;
    int copyBlessRights() override;
    std::optional<PrivilegedJobError> removeJob(std::string_view label) override;
    std::optional<PrivilegedJobError> blessJob(std::string_view label,
                                               const std::filesystem::path& appBundle) override;
    void freeAuthorization() override;
    int daemonServiceStatus(std::string_view plistName) override;

private:
    struct JobStatus {
        SimulatorJobState state = SimulatorJobState::undefined;
        std::string detail;
    };
    // The service manager's view of a label after it read the daemon folder again; nothing
    // when the simulator cannot be reached.
    std::optional<JobStatus> reloadedJobStatus(std::string_view label);

    SystemPaths paths_;
    const CodeSigning& signing_;
    // Its own connection: an approval may take as long as the dialog stays open, and the
    // process's shared connection must not wait behind it.
    std::unique_ptr<SimulatorConnection> connection_;
    bool hasAuthorization_ = false;
    bool hasBlessRight_ = false;
};

} // namespace aerivo
