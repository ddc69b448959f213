#pragma once

#include "app/helperclient/CodeSigningInspector.h"
#include "app/model/PrivilegedHelperClient.h"
#include "platform/desktop/ApplicationBundle.h"
#include "platform/helpersocket/HelperTransport.h"
#include "platform/posix/SystemPaths.h"
#include "platform/services/PrivilegedJobInstaller.h"
#include "shared/AerivoPrivilegedHelperXPCProtocol.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace aerivo {

// One request's connection to the helper: the protocol's proxy over the helper socket.
struct PrivilegedHelperXPCSession {
    std::shared_ptr<AerivoPrivilegedHelperXPCProtocol> proxy;
};

// The app's privileged helper client: finds the helper shipped in the application bundle,
// installs it through the privileged job installer, assembles its health from code signing and
// a status request, and talks to the running helper over the helper socket. Every operation
// blocks its caller until the helper answered or the request's time-out passed, and reports
// every failure as a fixed English sentence; nothing is thrown. Keeps no state between calls,
// so it may be called from several threads at once.
class BundledPrivilegedHelperClient final : public PrivilegedHelperClient {
public:
    // What the client runs on. The transport, installer and code signing are shared with
    // whoever built them.
    struct Platform {
        ApplicationBundle bundle;
        SystemPaths paths{"/"};
        std::shared_ptr<HelperTransport> transport;
        std::shared_ptr<PrivilegedJobInstaller> installer;
        std::shared_ptr<const CodeSigning> codeSigning;
        // The app's contract switches; tests turn them off.
        bool connectionEnabled = AerivoPrivilegedHelperXPC::connectionEnabled;
        bool fanWritesEnabled = AerivoPrivilegedHelperXPC::fanWritesEnabled;
    };

    explicit BundledPrivilegedHelperClient(Platform platform);

    const std::string& helperExecutableName() const { return helperExecutableName_; }
    const std::string& expectedLabel() const { return expectedLabel_; }
    const std::string& daemonPlistName() const { return daemonPlistName_; }
    const std::optional<std::filesystem::path>& appCodeURL() const { return appCodeURL_; }

    PrivilegedHelperHealth readHealth() override;
    PrivilegedHelperActionResult installPrivilegedHelper() override;
    PrivilegedHelperActionResult resetToSystem() override;
    PrivilegedHelperActionResult holdManualTargetLease(double targetRPM, int holdSeconds) override;
    PrivilegedHelperActionResult renewCurveTargetLease(double targetRPM, int leaseSeconds) override;

    // The helper in the bundle's Contents/Library/LaunchServices, else beside the executable;
    // the first that is an executable file.
    std::optional<std::filesystem::path> resolveHelperURL() const;
    // <root>/Library/PrivilegedHelperTools/<label>, when a file is there.
    std::optional<std::filesystem::path> installedHelperURL() const;
    // None when the connection switch is off or there is no way to the helper at all (the
    // handler is told why). The session's calls block until their reply, at most `deadline`;
    // a request that ends without a reply calls neither the reply block nor the handler, as an
    // error after the connection exists does not end the wait early on the Mac either, except
    // that a helper that refuses the connection reports "Could not create XPC connection.".
    std::optional<PrivilegedHelperXPCSession>
    makeRemoteSession(const std::function<void(const std::string&)>& errorHandler,
                      std::chrono::seconds deadline) const;
    // The manual-target lease request of every lease: fan 0, the target, the seconds unbounded.
    PrivilegedHelperActionResult sendManualTargetLease(double targetRPM, std::int64_t seconds,
                                                       std::string_view reason, int timeoutSeconds);

    struct XPCProbe {
        bool hasHeartbeat = false;
        bool resetAccepted = false;
        bool fanWritesEnabled = false;
        std::optional<std::string> fanHandBackFailure;
    };
    // A status request to an installed, trusted helper; one that answers the heartbeat is also
    // sent a reset to system control. Nothing is sent otherwise.
    XPCProbe readXPCProbeIfAllowed(bool isPrivilegedInstallVerified, bool hasTrustedProvenance);

    static std::string detailText(const CodeSigningInfo& signature, bool hasBlessMetadata,
                                  bool isXPCConnectionEnabled, bool isPrivilegedInstallVerified,
                                  bool hasTrustedProvenance, bool heartbeatOK, bool resetAccepted);
    // "notRegistered", "enabled", "requiresApproval", "notFound" or "unknown".
    std::string readDaemonServiceStatus(const std::string& plistName) const;
    // SMPrivilegedExecutables[label] of the app's information property list.
    std::optional<std::string> appHelperRequirement(const nlohmann::json& infoPlist) const;
    // The first string of SMAuthorizedClients in the helper's information property list.
    static std::optional<std::string> helperClientRequirement(const nlohmann::json& infoPlist);
    bool requirementCompiles(const std::string& requirement) const;

    // The contract's wait for each request, in whole seconds.
    static int manualHoldTimeoutSeconds(int holdSeconds);
    static constexpr int curveRenewalTimeoutSeconds =
        AerivoPrivilegedHelperXPC::requestTimeoutSeconds + 3;

private:
    // One request through a fresh session: the reply, or why there is none.
    struct Exchange {
        std::optional<nlohmann::json> reply;
        // Set when no session could be made: the failure's message.
        std::optional<std::string> sessionError;
    };
    Exchange exchange(const std::function<void(AerivoPrivilegedHelperXPCProtocol&,
                                               AerivoPrivilegedHelperXPCProtocol::Reply)>& call,
                      int timeoutSeconds) const;

    Platform platform_;
    std::string helperExecutableName_;
    std::string expectedLabel_;
    std::string daemonPlistName_;
    std::optional<std::filesystem::path> appCodeURL_;
};

} // namespace aerivo
