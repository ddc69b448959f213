#pragma once

#include "helper/core/HelperPropertyLists.h"
#include "platform/admission/ClientAdmission.h"
#include "platform/codesign/CodeSigning.h"
#include "platform/helpersocket/HelperSocketServer.h"
#include "platform/posix/SystemPaths.h"
#include "shared/AerivoPrivilegedHelperXPCProtocol.h"

#include <nlohmann/json.hpp>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace aerivo {

// The helper as the service manager starts it: serves the helper socket (the one the service
// manager handed over through LISTEN_FDS, else one it binds itself at
// SystemPaths::helperSocket(label)), admits only peers whose running image satisfies the
// requirement under SMAuthorizedClients in the helper's own information property list, and
// hands every admitted request to the service. Each connection runs on a thread of its own, so
// status replies and manual holds of different clients never wait for one another.
class AerivoPrivilegedHelperXPCListener {
public:
    static constexpr std::string_view fatalMessage = "XPC listener run loop exited";
    using Log = std::function<void(const std::string& message)>;

    // The service is shared with every connection. Without a usable requirement (missing, not a
    // list of strings, empty, or not compiling) every peer is refused. The log (standard error by
    // default) hears refusals and why.
    AerivoPrivilegedHelperXPCListener(
        std::shared_ptr<AerivoPrivilegedHelperXPCProtocol> service,
        std::shared_ptr<const CodeSigning> signing,
        const nlohmann::json& infoPropertyList = helperInfoPropertyList(), Log log = {});

    // The first string of the SMAuthorizedClients list; nothing when the key is missing, is not
    // a list of strings, or is empty.
    static std::optional<std::string>
    authorizedClientRequirement(const nlohmann::json& infoPropertyList);

    bool isAuthorizedClient(const PeerCredentials& peer) const;

    // Serves for good. Should serving ever end (the socket could not be set up, or stop() was
    // called), the helper stops with the fatal message: it never returns.
    [[noreturn]] void run(const SystemPaths& paths);

    // From another thread: ends serving, after which run() stops the helper.
    void stop();

private:
    [[noreturn]] void fatalStop() const;

    std::shared_ptr<AerivoPrivilegedHelperXPCProtocol> service_;
    std::unique_ptr<ClientAdmission> admission_;
    Log log_;
    std::mutex mutex_;
    HelperSocketServer* server_ = nullptr;
    bool stopRequested_ = false;
};

} // namespace aerivo
