#include "platform/simulator/SimulatorIOKit.h"

namespace aerivo {

namespace {

SimulatorRegistryEntry wireEntry(RegistryEntry entry) {
    return entry == RegistryEntry::deviceTreeRoot ? SimulatorRegistryEntry::deviceTreeRoot
                                                  : SimulatorRegistryEntry::platformExpert;
}

// Reads a registry answer: its kind and, for data or text, the bytes.
struct RegistryAnswer {
    SimulatorPropertyKind kind = SimulatorPropertyKind::absent;
    std::vector<std::uint8_t> data;
    std::string text;
};

} // namespace

SimulatorIOKit::SimulatorIOKit() : SimulatorIOKit(SimulatorConnection::defaultSystemRoot()) {}

SimulatorIOKit::SimulatorIOKit(const std::filesystem::path& systemRoot)
    : connection_(SimulatorConnection::forRoot(systemRoot)) {}

IOObjectHandle SimulatorIOKit::matchingService(std::string_view className) {
    IOObjectHandle service = 0;
    const bool ok = connection_->exchange(
        SimulatorOp::matchingService, [&](SimulatorWireWriter& out) { out.string(className); },
        [&](SimulatorWireReader& in) { service = in.u32(); });
    return ok ? service : 0;
}

IOServiceMatches SimulatorIOKit::matchingServices(std::string_view className) {
    IOServiceMatches matches;
    const bool ok = connection_->exchange(
        SimulatorOp::matchingServices, [&](SimulatorWireWriter& out) { out.string(className); },
        [&](SimulatorWireReader& in) {
            matches.result = in.i32();
            const std::uint32_t count = in.u32();
            // Never trust a count beyond what the payload can hold.
            for (std::uint32_t i = 0; i < count && !in.failed(); ++i) {
                matches.services.push_back(in.u32());
            }
        });
    if (!ok) {
        return {kIOReturnNoDevice, {}};
    }
    return matches;
}

std::optional<std::string> SimulatorIOKit::stringProperty(IOObjectHandle entry,
                                                          std::string_view name) {
    std::optional<std::string> value;
    connection_->exchange(
        SimulatorOp::stringProperty,
        [&](SimulatorWireWriter& out) {
            out.u32(entry);
            out.string(name);
        },
        [&](SimulatorWireReader& in) {
            if (in.u8() == 1) {
                value = in.string();
            }
        });
    return value;
}

IOServiceOpenResult SimulatorIOKit::openService(IOObjectHandle service, std::uint32_t type) {
    IOServiceOpenResult opened;
    const bool ok = connection_->exchange(
        SimulatorOp::openService,
        [&](SimulatorWireWriter& out) {
            out.u32(service);
            out.u32(type);
        },
        [&](SimulatorWireReader& in) {
            opened.result = in.i32();
            opened.connection = in.u32();
        });
    if (!ok) {
        return {kIOReturnNoDevice, 0};
    }
    return opened;
}

KernReturn SimulatorIOKit::callStructMethod(IOConnectHandle connection, std::uint32_t selector,
                                            const IOStructMethodRecord& input,
                                            IOStructMethodRecord& output) {
    KernReturn result = kIOReturnNoDevice;
    IOStructMethodRecord answer{};
    const bool ok = connection_->exchange(
        SimulatorOp::callStructMethod,
        [&](SimulatorWireWriter& out) {
            out.u32(connection);
            out.u32(selector);
            out.raw(input);
        },
        [&](SimulatorWireReader& in) {
            result = in.i32();
            in.raw(answer);
        });
    if (!ok) {
        return kIOReturnNoDevice;
    }
    if (result == kIOReturnSuccess) {
        output = answer;
    }
    return result;
}

KernReturn SimulatorIOKit::handleCall(SimulatorOp op, std::uint32_t handle) {
    KernReturn result = kIOReturnNoDevice;
    const bool ok = connection_->exchange(
        op, [&](SimulatorWireWriter& out) { out.u32(handle); },
        [&](SimulatorWireReader& in) { result = in.i32(); });
    return ok ? result : kIOReturnNoDevice;
}

KernReturn SimulatorIOKit::closeService(IOConnectHandle connection) {
    return handleCall(SimulatorOp::closeService, connection);
}

KernReturn SimulatorIOKit::releaseObject(IOObjectHandle object) {
    return handleCall(SimulatorOp::releaseObject, object);
}

namespace {

RegistryAnswer askRegistry(SimulatorConnection& connection, RegistryEntry entry,
                           std::string_view name) {
    RegistryAnswer answer;
    const bool ok = connection.exchange(
        SimulatorOp::registryProperty,
        [&](SimulatorWireWriter& out) {
            out.u8(static_cast<std::uint8_t>(wireEntry(entry)));
            out.string(name);
        },
        [&](SimulatorWireReader& in) {
            answer.kind = static_cast<SimulatorPropertyKind>(in.u8());
            switch (answer.kind) {
            case SimulatorPropertyKind::data:
                answer.data = in.bytes();
                break;
            case SimulatorPropertyKind::string:
                answer.text = in.string();
                break;
            case SimulatorPropertyKind::number:
                in.i64();
                break;
            case SimulatorPropertyKind::absent:
                break;
            default:
                // An unknown kind leaves its bytes unread, so the answer is refused as a whole.
                answer.kind = SimulatorPropertyKind::absent;
                break;
            }
        });
    return ok ? answer : RegistryAnswer{};
}

} // namespace

std::optional<std::vector<std::uint8_t>> SimulatorIOKit::registryProperty(RegistryEntry entry,
                                                                          std::string_view name) {
    RegistryAnswer answer = askRegistry(*connection_, entry, name);
    if (answer.kind != SimulatorPropertyKind::data) {
        return std::nullopt;
    }
    return std::move(answer.data);
}

std::optional<std::string> SimulatorIOKit::registryStringProperty(RegistryEntry entry,
                                                                  std::string_view name) {
    RegistryAnswer answer = askRegistry(*connection_, entry, name);
    if (answer.kind != SimulatorPropertyKind::string) {
        return std::nullopt;
    }
    return std::move(answer.text);
}

} // namespace aerivo
