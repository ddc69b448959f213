#include "app/helperclient/BundledPrivilegedHelperClient.h"

#include "platform/helpersocket/HelperXPCProxy.h"
#include "shared/AerivoManualTargetLeaseRequest.h"
#include "shared/AerivoManualTargetLeaseResponse.h"
#include "shared/AerivoPrivilegedHelperStatus.h"

#include <unistd.h>

#include <algorithm>
#include <system_error>

namespace aerivo {

namespace {

using Protocol = AerivoPrivilegedHelperXPCProtocol;

constexpr std::string_view couldNotConnect = "Could not create XPC connection.";

bool isExecutableFile(const std::filesystem::path& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(path, error) && ::access(path.c_str(), X_OK) == 0;
}

std::optional<std::string> stringMember(const nlohmann::json& object, std::string_view key) {
    if (!object.is_object()) {
        return std::nullopt;
    }
    const auto found = object.find(key);
    if (found == object.end() || !found->is_string()) {
        return std::nullopt;
    }
    return found->get<std::string>();
}

} // namespace

BundledPrivilegedHelperClient::BundledPrivilegedHelperClient(Platform platform)
    : platform_(std::move(platform)),
      helperExecutableName_(PrivilegedHelperHealth::expectedLabel()),
      expectedLabel_(PrivilegedHelperHealth::expectedLabel()),
      daemonPlistName_(expectedLabel_ + ".plist") {
    if (!platform_.bundle.bundlePath.empty()) {
        appCodeURL_ = platform_.bundle.bundlePath;
    }
}

std::optional<std::filesystem::path> BundledPrivilegedHelperClient::resolveHelperURL() const {
    std::vector<std::filesystem::path> candidates;
    if (!platform_.bundle.bundlePath.empty()) {
        candidates.push_back(platform_.bundle.bundlePath / "Contents" / "Library" /
                             "LaunchServices" / helperExecutableName_);
    }
    if (!platform_.bundle.executablePath.empty()) {
        candidates.push_back(platform_.bundle.executablePath.parent_path() / helperExecutableName_);
    }
    for (const std::filesystem::path& candidate : candidates) {
        if (isExecutableFile(candidate)) {
            return candidate;
        }
    }
    return std::nullopt;
}

std::optional<std::filesystem::path> BundledPrivilegedHelperClient::installedHelperURL() const {
    const std::filesystem::path path = platform_.paths.privilegedHelperTools() / expectedLabel_;
    std::error_code error;
    if (std::filesystem::exists(path, error)) {
        return path;
    }
    return std::nullopt;
}

PrivilegedHelperActionResult BundledPrivilegedHelperClient::installPrivilegedHelper() {
    PrivilegedJobInstaller* installer = platform_.installer.get();
    if (installer == nullptr) {
        return PrivilegedHelperActionResult::failure(std::string(installUnavailableMessage));
    }
    if (const int status = installer->createAuthorization(); status != 0) {
        return PrivilegedHelperActionResult::failure("AuthorizationCreate failed: " +
                                                     std::to_string(status));
    }
    const PrivilegedHelperActionResult result = [&] {
        if (const int status = installer->copyBlessRights(); status != 0) {
            return PrivilegedHelperActionResult::failure("AuthorizationCopyRights failed: " +
                                                         std::to_string(status));
        }
        // A job that is not there counts as removed.
        if (const auto error = installer->removeJob(expectedLabel_);
            error && error->code != PrivilegedJobError::noSuchJob) {
            return PrivilegedHelperActionResult::failure(
                error->description.empty() ? "SMJobRemove failed without an error."
                                           : error->description);
        }
        if (const auto error = installer->blessJob(expectedLabel_,
                                                   appCodeURL_.value_or(std::filesystem::path{}))) {
            return PrivilegedHelperActionResult::failure(error->description.empty()
                                                             ? "SMJobBless failed without an error."
                                                             : error->description);
        }
        return PrivilegedHelperActionResult{true, "Privileged helper installed.", std::nullopt};
    }();
    installer->freeAuthorization();
    return result;
}

std::optional<PrivilegedHelperXPCSession> BundledPrivilegedHelperClient::makeRemoteSession(
    const std::function<void(const std::string&)>& errorHandler,
    std::chrono::seconds deadline) const {
    // The session outlives this call: the handler is kept by value, never by reference.
    const auto report = [errorHandler](std::string_view text) {
        if (errorHandler) {
            errorHandler(std::string(text));
        }
    };
    if (!platform_.connectionEnabled) {
        report("XPC connection is disabled.");
        return std::nullopt;
    }
    if (!platform_.transport) {
        report(couldNotConnect);
        return std::nullopt;
    }
    auto proxy = std::make_shared<HelperXPCProxy>(
        *platform_.transport, deadline, [report](const HelperRequestResult& result) {
            // No socket, nobody serving it, or a helper that refused this client: the
            // connection never came to be. Everything else ends by the request's time-out.
            if (result.outcome == HelperRequestOutcome::connectionFailed ||
                result.outcome == HelperRequestOutcome::refused) {
                report(couldNotConnect);
            }
        });
    return PrivilegedHelperXPCSession{std::move(proxy)};
}

BundledPrivilegedHelperClient::Exchange
BundledPrivilegedHelperClient::exchange(const std::function<void(Protocol&, Protocol::Reply)>& call,
                                        int timeoutSeconds) const {
    Exchange result;
    std::optional<std::string> reported;
    const std::optional<PrivilegedHelperXPCSession> session =
        makeRemoteSession([&reported](const std::string& text) { reported = text; },
                          std::chrono::seconds(timeoutSeconds));
    if (!session) {
        result.sessionError = reported.value_or(std::string(couldNotConnect));
        return result;
    }
    call(*session->proxy, [&result](nlohmann::json reply) { result.reply = std::move(reply); });
    if (!result.reply && reported) {
        result.sessionError = reported;
    }
    return result;
}

PrivilegedHelperActionResult BundledPrivilegedHelperClient::resetToSystem() {
    Exchange reset = exchange(
        [](Protocol& proxy, Protocol::Reply reply) { proxy.resetToSystem(std::move(reply)); },
        AerivoPrivilegedHelperXPC::resetTimeoutSeconds);
    if (reset.sessionError) {
        return PrivilegedHelperActionResult::failure(*reset.sessionError);
    }
    if (!reset.reply) {
        return PrivilegedHelperActionResult::failure("Timed out waiting for helper reset.");
    }
    const std::optional<std::string> value =
        stringMember(*reset.reply, AerivoPrivilegedHelperStatus::resetToSystemKey);
    const bool accepted = value == "accepted" || value == "noop";
    return {accepted, accepted ? "Helper reset accepted." : "Helper reset failed.",
            std::move(reset.reply)};
}

PrivilegedHelperActionResult
BundledPrivilegedHelperClient::sendManualTargetLease(double targetRPM, std::int64_t seconds,
                                                     std::string_view reason, int timeoutSeconds) {
    AerivoManualTargetLeaseRequest request;
    request.fanIndex = 0;
    request.targetRPM = targetRPM;
    request.holdSeconds = seconds;
    request.reason = std::string(reason);
    Exchange lease = exchange(
        [&request](Protocol& proxy, Protocol::Reply reply) {
            proxy.holdManualTargetLease(request.dictionary(), std::move(reply));
        },
        timeoutSeconds);
    if (lease.sessionError) {
        return PrivilegedHelperActionResult::failure(*lease.sessionError);
    }
    if (!lease.reply) {
        return PrivilegedHelperActionResult::failure("Timed out waiting for helper fan lease.");
    }
    // Only a Boolean true accepts: the string "true" does not.
    const auto accepted = lease.reply->is_object()
                              ? lease.reply->find(AerivoManualTargetLeaseResponse::acceptedKey)
                              : lease.reply->end();
    const bool isAccepted =
        accepted != lease.reply->end() && accepted->is_boolean() && accepted->get<bool>();
    return {isAccepted, isAccepted ? "Helper fan lease accepted." : "Helper fan lease rejected.",
            std::move(lease.reply)};
}

int BundledPrivilegedHelperClient::manualHoldTimeoutSeconds(int holdSeconds) {
    return std::clamp(holdSeconds, 1, 10) + AerivoPrivilegedHelperXPC::resetTimeoutSeconds + 2;
}

PrivilegedHelperActionResult BundledPrivilegedHelperClient::holdManualTargetLease(double targetRPM,
                                                                                  int holdSeconds) {
    return sendManualTargetLease(targetRPM, holdSeconds,
                                 AerivoManualTargetLeaseRequest::appManualTargetLeaseReason,
                                 manualHoldTimeoutSeconds(holdSeconds));
}

PrivilegedHelperActionResult
BundledPrivilegedHelperClient::renewCurveTargetLease(double targetRPM, int leaseSeconds) {
    return sendManualTargetLease(targetRPM, leaseSeconds,
                                 AerivoManualTargetLeaseRequest::curveRenewalReason,
                                 curveRenewalTimeoutSeconds);
}

BundledPrivilegedHelperClient::XPCProbe
BundledPrivilegedHelperClient::readXPCProbeIfAllowed(bool isPrivilegedInstallVerified,
                                                     bool hasTrustedProvenance) {
    if (!platform_.connectionEnabled || !isPrivilegedInstallVerified || !hasTrustedProvenance) {
        return {};
    }
    const Exchange status =
        exchange([](Protocol& proxy, Protocol::Reply reply) { proxy.readStatus(std::move(reply)); },
                 AerivoPrivilegedHelperXPC::requestTimeoutSeconds);
    if (!status.reply) {
        return {};
    }
    if (stringMember(*status.reply, AerivoPrivilegedHelperStatus::heartbeatKey) != "ok") {
        return {};
    }
    XPCProbe probe;
    probe.hasHeartbeat = true;
    // Every health read of a trusted helper that answers hands the fan back to the system.
    const PrivilegedHelperActionResult reset = resetToSystem();
    probe.resetAccepted = reset.isSuccess;
    // What the reset's reply says of a fan the helper cannot hand back is the newer word.
    const nlohmann::json& latest = reset.dictionary ? *reset.dictionary : *status.reply;
    if (stringMember(latest, AerivoPrivilegedHelperStatus::fanHandBackKey) == "failed") {
        probe.fanHandBackFailure =
            stringMember(latest, AerivoPrivilegedHelperStatus::fanHandBackErrorKey)
                .value_or("no reason given");
    }
    probe.fanWritesEnabled =
        stringMember(*status.reply, AerivoPrivilegedHelperStatus::fanWritesKey) == "enabled";
    return probe;
}

std::string BundledPrivilegedHelperClient::detailText(const CodeSigningInfo& signature,
                                                      bool hasBlessMetadata,
                                                      bool isXPCConnectionEnabled,
                                                      bool isPrivilegedInstallVerified,
                                                      bool hasTrustedProvenance, bool heartbeatOK,
                                                      bool resetAccepted) {
    const std::string phrases[] = {
        signature.isValid ? "signature valid" : signature.status,
        hasBlessMetadata ? "metadata ready" : "metadata incomplete",
        isXPCConnectionEnabled ? "xpc enabled" : "xpc disabled",
        isPrivilegedInstallVerified ? "privileged install verified"
                                    : "privileged install not verified",
        hasTrustedProvenance ? "trusted provenance" : "trusted provenance missing",
        heartbeatOK ? "heartbeat ok" : "heartbeat unavailable",
        resetAccepted ? "reset ok" : "reset unavailable",
    };
    std::string text;
    for (const std::string& phrase : phrases) {
        text += (text.empty() ? "" : ", ") + phrase;
    }
    return text;
}

std::string
BundledPrivilegedHelperClient::readDaemonServiceStatus(const std::string& plistName) const {
    if (!platform_.installer) {
        return "unknown";
    }
    using Status = PrivilegedJobInstaller::DaemonServiceStatus;
    switch (platform_.installer->daemonServiceStatus(plistName)) {
    case static_cast<int>(Status::notRegistered):
        return "notRegistered";
    case static_cast<int>(Status::enabled):
        return "enabled";
    case static_cast<int>(Status::requiresApproval):
        return "requiresApproval";
    case static_cast<int>(Status::notFound):
        return "notFound";
    default:
        return "unknown";
    }
}

std::optional<std::string>
BundledPrivilegedHelperClient::appHelperRequirement(const nlohmann::json& infoPlist) const {
    if (!infoPlist.is_object()) {
        return std::nullopt;
    }
    const auto executables = infoPlist.find("SMPrivilegedExecutables");
    if (executables == infoPlist.end()) {
        return std::nullopt;
    }
    return stringMember(*executables, expectedLabel_);
}

std::optional<std::string>
BundledPrivilegedHelperClient::helperClientRequirement(const nlohmann::json& infoPlist) {
    if (!infoPlist.is_object()) {
        return std::nullopt;
    }
    const auto clients = infoPlist.find("SMAuthorizedClients");
    if (clients == infoPlist.end() || !clients->is_array() || clients->empty() ||
        !clients->front().is_string()) {
        return std::nullopt;
    }
    return clients->front().get<std::string>();
}

bool BundledPrivilegedHelperClient::requirementCompiles(const std::string& requirement) const {
    return platform_.codeSigning != nullptr &&
           std::holds_alternative<std::shared_ptr<const CodeRequirement>>(
               platform_.codeSigning->compileRequirement(requirement));
}

PrivilegedHelperHealth BundledPrivilegedHelperClient::readHealth() {
    const std::optional<std::filesystem::path> bundled = resolveHelperURL();
    if (!bundled || !platform_.codeSigning) {
        return PrivilegedHelperHealth::unavailable();
    }
    const CodeSigning& signing = *platform_.codeSigning;
    const CodeSigningInfo inBundle = CodeSigningInspector::inspect(signing, *bundled);
    const std::optional<std::filesystem::path> installedPath = installedHelperURL();
    std::optional<CodeSigningInfo> installed;
    if (installedPath) {
        installed = CodeSigningInspector::inspect(signing, *installedPath);
    }
    const CodeSigningInfo& signature = installed ? *installed : inBundle;
    std::optional<CodeSigningInfo> app;
    if (appCodeURL_) {
        // The app's signature covers its main executable.
        app = CodeSigningInspector::inspect(signing, platform_.bundle.executablePath);
    }

    PrivilegedHelperHealth health;
    health.label = expectedLabel_;
    health.executablePath = (installedPath ? *installedPath : *bundled).string();
    health.isBundled = true;
    health.isSignatureValid = signature.isValid;
    health.signingIdentifier = signature.identifier;
    health.teamIdentifier = signature.teamIdentifier;
    health.serviceManagementStatus = readDaemonServiceStatus(daemonPlistName_);
    health.appHelperRequirement = appHelperRequirement(platform_.bundle.infoDictionary);
    health.helperClientRequirement =
        helperClientRequirement(inBundle.infoPlist.value_or(nlohmann::json::object()));
    health.hasBlessMetadata = health.appHelperRequirement && health.helperClientRequirement &&
                              requirementCompiles(*health.appHelperRequirement) &&
                              requirementCompiles(*health.helperClientRequirement);
    health.isPrivilegedInstallVerified =
        installed && installed->isValid && installed->identifier == expectedLabel_;
    health.hasTrustedProvenance = health.isPrivilegedInstallVerified &&
                                  signature.identifier == expectedLabel_ &&
                                  signature.teamIdentifier && app && app->teamIdentifier &&
                                  signature.teamIdentifier == app->teamIdentifier;
    const XPCProbe probe =
        readXPCProbeIfAllowed(health.isPrivilegedInstallVerified, health.hasTrustedProvenance);
    health.hasHeartbeat = probe.hasHeartbeat;
    health.resetCommandAccepted = probe.resetAccepted;
    health.fanHandBackFailure = probe.fanHandBackFailure;
    health.fanWritesEnabled =
        probe.hasHeartbeat && probe.fanWritesEnabled && platform_.fanWritesEnabled;
    health.isXPCConnectionEnabled = platform_.connectionEnabled;
    health.detail = detailText(signature, health.hasBlessMetadata, platform_.connectionEnabled,
                               health.isPrivilegedInstallVerified, health.hasTrustedProvenance,
                               health.hasHeartbeat, health.resetCommandAccepted);
    return health;
}

} // namespace aerivo
