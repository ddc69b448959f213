#include "platform/linuxhost/PkexecJobInstaller.h"

#include "platform/linuxhost/SystemdHelperUnits.h"

#include <unistd.h>

namespace aerivo {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view plistExtension = ".plist";

std::string lastLine(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
        text.pop_back();
    }
    const std::size_t at = text.find_last_of('\n');
    return at == std::string::npos ? text : text.substr(at + 1);
}

bool isExecutable(const fs::path& file) {
    std::error_code error;
    return fs::is_regular_file(file, error) && ::access(file.c_str(), X_OK) == 0;
}

} // namespace

PkexecJobInstaller::PkexecJobInstaller(SystemPaths paths, ProcessRunner& runner, fs::path installer)
    : paths_(std::move(paths)), runner_(runner), installer_(std::move(installer)) {}

fs::path PkexecJobInstaller::defaultInstaller(const SystemPaths& paths, const fs::path& appBundle) {
    const fs::path host = paths.resolve("/usr/libexec/aerivo-mac/aerivo-install-helper");
    return isExecutable(host) ? host : appBundle / "Contents" / "MacOS" / "aerivo-install-helper";
}

int PkexecJobInstaller::createAuthorization() {
    hasBlessRight_ = false;
    hasAuthorization_ = isExecutable(paths_.pkexec());
    return hasAuthorization_ ? 0 : authorizationInternal;
}

void PkexecJobInstaller::freeAuthorization() {
    hasAuthorization_ = false;
    hasBlessRight_ = false;
}

std::variant<ProcessOutput, ProcessLaunchError>
PkexecJobInstaller::runInstaller(const std::vector<std::string>& arguments) {
    std::vector<std::string> command{installer_.string()};
    command.insert(command.end(), arguments.begin(), arguments.end());
    return runner_.run(paths_.pkexec().string(), command);
}

int PkexecJobInstaller::copyBlessRights() {
    if (!hasAuthorization_) {
        return authorizationInternal;
    }
    const auto result = runInstaller({"authorize"});
    const auto* output = std::get_if<ProcessOutput>(&result);
    hasBlessRight_ = output != nullptr && output->exitStatus == 0;
    if (hasBlessRight_) {
        return 0;
    }
    if (output != nullptr && output->exitStatus == pkexecDismissed) {
        return authorizationCanceled;
    }
    if (output != nullptr && output->exitStatus == pkexecNotAuthorized) {
        return authorizationDenied;
    }
    return authorizationInternal;
}

std::optional<PrivilegedJobError>
PkexecJobInstaller::jobCommand(const std::vector<std::string>& arguments) {
    const auto result = runInstaller(arguments);
    if (const auto* failed = std::get_if<ProcessLaunchError>(&result)) {
        return PrivilegedJobError{authorizationInternal,
                                  "pkexec cannot be started: " + failed->message};
    }
    const auto& output = std::get<ProcessOutput>(result);
    if (output.exitStatus == 0) {
        return std::nullopt;
    }
    std::string description = lastLine(output.standardError);
    if (description.empty()) {
        description =
            "aerivo-install-helper failed with status " + std::to_string(output.exitStatus) + ".";
    }
    // pkexec's own refusals: the approval did not last (it asks again after a while).
    if (output.exitStatus == pkexecDismissed || output.exitStatus == pkexecNotAuthorized) {
        return PrivilegedJobError{authorizationFailure, std::move(description)};
    }
    return PrivilegedJobError{output.exitStatus, std::move(description)};
}

std::optional<PrivilegedJobError> PkexecJobInstaller::removeJob(std::string_view label) {
    if (!hasBlessRight_) {
        return PrivilegedJobError{authorizationFailure,
                                  "The authorization does not hold the right to manage helper "
                                  "jobs."};
    }
    return jobCommand({"remove", std::string(label)});
}

std::optional<PrivilegedJobError> PkexecJobInstaller::blessJob(std::string_view label,
                                                               const fs::path& appBundle) {
    if (!hasBlessRight_) {
        return PrivilegedJobError{authorizationFailure,
                                  "The authorization does not hold the right to install helper "
                                  "tools."};
    }
    std::error_code error;
    const fs::path bundle = fs::absolute(appBundle, error);
    return jobCommand({"install", std::string(label), (error ? appBundle : bundle).string()});
}

int PkexecJobInstaller::daemonServiceStatus(std::string_view plistName) {
    using Status = DaemonServiceStatus;
    if (!plistName.ends_with(plistExtension)) {
        return static_cast<int>(Status::notFound);
    }
    const std::string label(plistName.substr(0, plistName.size() - plistExtension.size()));
    if (!SystemdHelperUnits::isValidLabel(label)) {
        return static_cast<int>(Status::notFound);
    }
    const SystemdHelperUnits units{label, {}, {}, std::nullopt};
    std::error_code error;
    if (!fs::exists(paths_.systemdUnits() / units.socketUnitName(), error)) {
        return static_cast<int>(fs::exists(paths_.privilegedHelperTools() / label, error)
                                    ? Status::notRegistered
                                    : Status::notFound);
    }
    const auto result =
        runner_.run(paths_.systemctl().string(), {"is-enabled", units.socketUnitName()});
    const auto* output = std::get_if<ProcessOutput>(&result);
    const bool enabled = output != nullptr && output->exitStatus == 0 &&
                         output->standardOutput.starts_with("enabled");
    return static_cast<int>(enabled ? Status::enabled : Status::requiresApproval);
}

} // namespace aerivo
