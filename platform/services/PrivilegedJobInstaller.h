#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace aerivo {

// An error of a job operation, as ServiceManagement reports one: a code and its description.
struct PrivilegedJobError {
    // SMJobRemove of a label that has no job.
    static constexpr int noSuchJob = 6;

    int code = 0;
    std::string description;

    friend bool operator==(const PrivilegedJobError&, const PrivilegedJobError&) = default;
};

// The door to helper installation: Authorization Services, SMJobRemove, SMJobBless and the
// daemon-service status. Every call blocks until the system (an administrator's approval
// included) has answered.
class PrivilegedJobInstaller {
public:
    // errAuthorizationCanceled: the administrator refused or cancelled the approval.
    static constexpr int authorizationCanceled = -60006;

    // The daemon-service status values (SMAppService.Status).
    enum class DaemonServiceStatus {
        notRegistered = 0,
        enabled = 1,
        requiresApproval = 2,
        notFound = 3
    };

    virtual ~PrivilegedJobInstaller() = default;

    // AuthorizationCreate with no rights: 0 or a non-zero status.
    virtual int createAuthorization() = 0;
    // AuthorizationCopyRights for "com.apple.ServiceManagement.blesshelper" with interaction
    // allowed (an administrator is asked): 0, or authorizationCanceled when refused.
    virtual int copyBlessRights() = 0;
    // SMJobRemove of the label in the system domain; nothing on success.
    virtual std::optional<PrivilegedJobError> removeJob(std::string_view label) = 0;
    // SMJobBless of the label: verifies the helper inside the app bundle against the app's
    // SMPrivilegedExecutables requirement for that label, copies it and its signature into the
    // privileged helper tools folder, writes the daemon definition from the helper's embedded
    // launchd dictionary and loads it. Nothing on success.
    virtual std::optional<PrivilegedJobError> blessJob(std::string_view label,
                                                       const std::filesystem::path& appBundle) = 0;
    // AuthorizationFree.
    virtual void freeAuthorization() = 0;

    // The status of the daemon service registered under the property-list name, as a raw value
    // (0-3 name the known states; anything else is unknown).
    virtual int daemonServiceStatus(std::string_view plistName) = 0;
};

} // namespace aerivo
