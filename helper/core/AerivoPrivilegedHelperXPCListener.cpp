#include "helper/core/AerivoPrivilegedHelperXPCListener.h"

#include "platform/helpersocket/HelperRequest.h"
#include "platform/helpersocket/SocketActivation.h"
#include "shared/AerivoPrivilegedHelperXPC.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <utility>
#include <variant>

namespace aerivo {

AerivoPrivilegedHelperXPCListener::AerivoPrivilegedHelperXPCListener(
    std::shared_ptr<AerivoPrivilegedHelperXPCProtocol> service,
    std::shared_ptr<const CodeSigning> signing, const nlohmann::json& infoPropertyList, Log log)
    : service_(std::move(service)), log_(std::move(log)) {
    if (!log_) {
        log_ = [](const std::string& message) {
            std::cerr << "AerivoMacHelper: " << message << std::endl;
        };
    }
    const std::optional<std::string> requirement = authorizedClientRequirement(infoPropertyList);
    if (!requirement || !signing) {
        log_("no client requirement under SMAuthorizedClients: every client is refused");
        return;
    }
    auto compiled = signing->compileRequirement(*requirement);
    if (const auto* error = std::get_if<std::string>(&compiled)) {
        log_("the client requirement does not compile (" + *error + "): every client is refused");
        return;
    }
    admission_ = std::make_unique<ClientAdmission>(
        std::move(signing), std::get<std::shared_ptr<const CodeRequirement>>(std::move(compiled)));
}

std::optional<std::string> AerivoPrivilegedHelperXPCListener::authorizedClientRequirement(
    const nlohmann::json& infoPropertyList) {
    if (!infoPropertyList.is_object()) {
        return std::nullopt;
    }
    const auto clients = infoPropertyList.find("SMAuthorizedClients");
    if (clients == infoPropertyList.end() || !clients->is_array() || clients->empty()) {
        return std::nullopt;
    }
    for (const nlohmann::json& entry : *clients) {
        if (!entry.is_string()) {
            return std::nullopt;
        }
    }
    return clients->front().get<std::string>();
}

bool AerivoPrivilegedHelperXPCListener::isAuthorizedClient(const PeerCredentials& peer) const {
    if (!admission_) {
        return false;
    }
    const AdmissionVerdict verdict = admission_->check(peer.pid, peer.uid, peer.gid);
    if (!verdict.admitted) {
        log_("refused client " + std::to_string(peer.pid) + ": " + verdict.reason);
    }
    return verdict.admitted;
}

void AerivoPrivilegedHelperXPCListener::run(const SystemPaths& paths) {
    const auto admit = [this](const PeerCredentials& peer) { return isAuthorizedClient(peer); };
    const auto handle = [service = service_](const HelperRequest& request,
                                             HelperSocketServer::Reply reply) {
        request.dispatch(*service, std::move(reply));
    };
    std::unique_ptr<HelperSocketServer> server;
    try {
        if (const std::optional<int> activated = takeActivatedListeningSocket()) {
            server = HelperSocketServer::adopt(*activated, admit, handle, {});
        } else {
            server = HelperSocketServer::bind(
                paths.helperSocket(AerivoPrivilegedHelperXPC::serviceName), admit, handle, {});
        }
    } catch (const std::exception& error) {
        log_(std::string("cannot serve the helper socket: ") + error.what());
        fatalStop();
    }
    {
        std::lock_guard lock(mutex_);
        if (stopRequested_) {
            server.reset();
            fatalStop();
        }
        server_ = server.get();
    }
    // stop() may be waiting inside the server, holding the lock, for this to return.
    server->run();
    fatalStop();
}

void AerivoPrivilegedHelperXPCListener::stop() {
    std::lock_guard lock(mutex_);
    stopRequested_ = true;
    if (server_ != nullptr) {
        server_->stop();
    }
}

void AerivoPrivilegedHelperXPCListener::fatalStop() const {
    std::fprintf(stderr, "AerivoMacHelper/PrivilegedHelperXPCListener: Fatal error: %.*s\n",
                 static_cast<int>(fatalMessage.size()), fatalMessage.data());
    std::fflush(stderr);
    std::abort();
}

} // namespace aerivo
