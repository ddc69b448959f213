#include "sim/daemon/SimDaemonConnection.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace aerivo {

// Each request decoded from its payload and answered in the reply.

// A presence byte, then the value when there is one.
void SimDaemonServer::Connection::optionalReply(SimulatorWireWriter& writer,
                                                const std::optional<std::string>& text) {
    writer.u8(text ? 1 : 0);
    if (text) {
        writer.string(*text);
    }
}

void SimDaemonServer::Connection::optionalReply(SimulatorWireWriter& writer,
                                                const std::optional<double>& value) {
    writer.u8(value ? 1 : 0);
    if (value) {
        writer.f64(*value);
    }
}

void SimDaemonServer::Connection::okReply(SimulatorWireWriter& writer, bool ok,
                                          std::string_view message) {
    writer.u8(ok ? 1 : 0);
    writer.string(message);
}

// Decodes one request and writes its reply payload; false for a payload that does not
// decode exactly, which closes the connection.
bool SimDaemonServer::Connection::handle(SimulatorWireWriter& writer,
                                         std::chrono::microseconds& delay) {
    SimulatedMac& mac = server_.machine();
    SimulatorWireReader reader(payload_);
    switch (op_) {
    case SimulatorOp::matchingService: {
        const std::string name = reader.string();
        if (!reader.finished()) {
            return false;
        }
        writer.u32(mac.matchingService(session_, name));
        return true;
    }
    case SimulatorOp::matchingServices: {
        const std::string name = reader.string();
        if (!reader.finished()) {
            return false;
        }
        const SimServiceMatches matches = mac.matchingServices(session_, name);
        writer.i32(matches.result);
        writer.u32(static_cast<std::uint32_t>(matches.services.size()));
        for (const std::uint32_t service : matches.services) {
            writer.u32(service);
        }
        return true;
    }
    case SimulatorOp::stringProperty: {
        const std::uint32_t object = reader.u32();
        const std::string name = reader.string();
        if (!reader.finished()) {
            return false;
        }
        const auto value = mac.stringProperty(session_, object, name);
        writer.u8(value ? 1 : 0);
        if (value) {
            writer.string(*value);
        }
        return true;
    }
    case SimulatorOp::openService: {
        const std::uint32_t service = reader.u32();
        const std::uint32_t type = reader.u32();
        if (!reader.finished()) {
            return false;
        }
        const SimOpenResult opened = mac.openService(session_, service, type);
        writer.i32(opened.result);
        writer.u32(opened.connection);
        return true;
    }
    case SimulatorOp::callStructMethod: {
        const std::uint32_t connection = reader.u32();
        const std::uint32_t selector = reader.u32();
        SMCKeyDataImage image{};
        reader.raw(image);
        if (!reader.finished()) {
            return false;
        }
        SMCKeyData output;
        const KernReturn result = mac.callStructMethod(session_, connection, selector,
                                                       SMCKeyData::fromImage(image), output);
        writer.i32(result);
        const SMCKeyDataImage answer = output.image();
        writer.raw(answer);
        delay = std::chrono::microseconds(mac.callDelayMicroseconds());
        return true;
    }
    case SimulatorOp::closeService:
    case SimulatorOp::releaseObject: {
        const std::uint32_t handle = reader.u32();
        if (!reader.finished()) {
            return false;
        }
        writer.i32(op_ == SimulatorOp::closeService ? mac.closeService(session_, handle)
                                                    : mac.releaseObject(session_, handle));
        return true;
    }
    case SimulatorOp::registryProperty: {
        const std::uint8_t entry = reader.u8();
        const std::string name = reader.string();
        if (!reader.finished() || entry > 1) {
            return false;
        }
        const auto value =
            entry == 0 ? mac.deviceTreeProperty(name) : mac.platformExpertProperty(name);
        if (!value) {
            writer.u8(static_cast<std::uint8_t>(SimulatorPropertyKind::absent));
        } else if (const auto* data = std::get_if<std::vector<std::uint8_t>>(&*value)) {
            writer.u8(static_cast<std::uint8_t>(SimulatorPropertyKind::data));
            writer.bytes(*data);
        } else if (const auto* text = std::get_if<std::string>(&*value)) {
            writer.u8(static_cast<std::uint8_t>(SimulatorPropertyKind::string));
            writer.string(*text);
        } else {
            writer.u8(static_cast<std::uint8_t>(SimulatorPropertyKind::number));
            writer.i64(std::get<std::int64_t>(*value));
        }
        return true;
    }
    case SimulatorOp::hidCopyServices: {
        const std::uint32_t page = reader.u32();
        const std::uint32_t usage = reader.u32();
        if (!reader.finished()) {
            return false;
        }
        const auto services = mac.hidServices(page, usage);
        writer.u8(1);
        writer.u32(static_cast<std::uint32_t>(services.size()));
        for (const std::uint32_t id : services) {
            writer.u32(id);
        }
        return true;
    }
    case SimulatorOp::hidProduct: {
        const std::uint32_t id = reader.u32();
        if (!reader.finished()) {
            return false;
        }
        optionalReply(writer, mac.hidProduct(id));
        return true;
    }
    case SimulatorOp::hidTemperature: {
        const std::uint32_t id = reader.u32();
        if (!reader.finished()) {
            return false;
        }
        optionalReply(writer, mac.hidTemperature(id));
        return true;
    }
    case SimulatorOp::hidCopyServiceSnapshot: {
        // Per service: id, product (flag, text), temperature (flag, value), all read at the
        // same instant of the machine.
        const std::uint32_t page = reader.u32();
        const std::uint32_t usage = reader.u32();
        if (!reader.finished()) {
            return false;
        }
        const auto services = mac.hidServices(page, usage);
        writer.u8(1);
        writer.u32(static_cast<std::uint32_t>(services.size()));
        for (const std::uint32_t id : services) {
            writer.u32(id);
            optionalReply(writer, mac.hidProduct(id));
            optionalReply(writer, mac.hidTemperature(id));
        }
        return true;
    }
    case SimulatorOp::ctlStatus: {
        if (!reader.finished()) {
            return false;
        }
        std::string text;
        for (const std::string& line : server_.statusLines()) {
            text += line;
            text += '\n';
        }
        writer.string(text);
        return true;
    }
    case SimulatorOp::ctlWorkload: {
        const std::string name = reader.string();
        const std::string script = reader.string();
        if (!reader.finished()) {
            return false;
        }
        if (name.starts_with("script:")) {
            auto parsed = SimWorkload::parseScript(script, name.substr(7));
            if (auto* error = std::get_if<std::string>(&parsed)) {
                okReply(writer, false, "workload script " + name.substr(7) + ": " + *error);
                return true;
            }
            mac.setWorkload(std::move(std::get<SimWorkload>(parsed)));
        } else if (auto named = SimWorkload::named(name)) {
            mac.setWorkload(std::move(*named));
        } else {
            okReply(writer, false, "unknown workload \"" + name + "\"");
            return true;
        }
        okReply(writer, true, "workload=" + mac.workload().name());
        return true;
    }
    case SimulatorOp::ctlFaults: {
        const std::string json = reader.string();
        if (!reader.finished()) {
            return false;
        }
        auto parsed = SimFaultPlan::fromJSON(json);
        if (auto* error = std::get_if<std::string>(&parsed)) {
            okReply(writer, false, *error);
            return true;
        }
        mac.mergeFaults(std::get<SimFaultPlan>(parsed));
        std::string text;
        for (const std::string& line : mac.faults().describe()) {
            text += (text.empty() ? "" : "\n") + line;
        }
        okReply(writer, true, text);
        return true;
    }
    case SimulatorOp::ctlApprove: {
        const std::uint8_t policy = reader.u8();
        if (!reader.finished() || policy > 2) {
            return false;
        }
        server_.approvals().setPolicy(static_cast<SimulatorApprovalPolicy>(policy));
        okReply(writer, true,
                "approvalPolicy=" +
                    std::string(SimApprovalAgent::policyName(server_.approvals().policy())));
        return true;
    }
    case SimulatorOp::approvalRequest: {
        SimApprovalAgent::Request request;
        request.who = reader.string();
        request.right = reader.string();
        request.detail = reader.string();
        if (!reader.finished()) {
            return false;
        }
        request.via = peerName_;
        deferred_ = true;
        server_.approvals().request(std::move(request),
                                    [self = shared_from_this()](SimulatorApprovalAnswer a) {
                                        if (*self->alive_) {
                                            self->replyToApproval(a);
                                        }
                                    });
        return true;
    }
    case SimulatorOp::serviceJobStatus: {
        const std::string label = reader.string();
        const std::uint8_t rescan = reader.u8();
        if (!reader.finished() || rescan > 1) {
            return false;
        }
        if (rescan == 1) {
            server_.services().rescan();
        }
        const SimServiceManager::JobReport report = server_.services().report(label);
        writer.u8(static_cast<std::uint8_t>(report.state));
        writer.i32(report.pid);
        writer.u32(report.starts);
        writer.string(report.lastExit);
        writer.string(report.detail);
        return true;
    }
    case SimulatorOp::ctlClearFaults:
    case SimulatorOp::ctlTakeBack:
    case SimulatorOp::ctlQuit: {
        if (!reader.finished()) {
            return false;
        }
        if (op_ == SimulatorOp::ctlClearFaults) {
            mac.setFaults({});
            okReply(writer, true, "faults=none");
        } else if (op_ == SimulatorOp::ctlTakeBack) {
            mac.takeBack("command");
            okReply(writer, true, "lastTakeBack=" + mac.lastTakeBack());
        } else {
            quitAfterReply_ = true;
            okReply(writer, true, "stopping");
        }
        return true;
    }
    }
    return false;
}

} // namespace aerivo
