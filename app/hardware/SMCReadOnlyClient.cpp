#include "app/hardware/SMCReadOnlyClient.h"

#include "platform/services/IOKitSMCConnection.h"
#include "platform/services/SMCServiceConnection.h"
#include "shared/SMCKeyCodec.h"

#include <array>

namespace aerivo {

// The struct-method path of this client. A record carrying the write command is refused here,
// before the port sees it, so no code path of the application can write a key.
class SMCReadOnlyClient::ReadOnlyConnection final : public SMCConnection {
public:
    ReadOnlyConnection(IOKitPort& port, IOConnectHandle connection) : port_(port, connection) {}

    KernReturn callStructMethod(std::uint32_t selector, const SMCKeyData& input,
                                SMCKeyData& output) override {
        if (input.data8 == commandCode(SMCCommand::writeBytes)) {
            return kIOReturnNotPermitted;
        }
        return port_.callStructMethod(selector, input, output);
    }

private:
    IOKitSMCConnection port_;
};

namespace {

constexpr std::array<std::string_view, 3> matrixClassNames{"AppleSMC", "AppleSMCKeysEndpoint",
                                                           "AppleSMCSensorDispatcher"};
constexpr std::uint32_t matrixUserClientTypes = 10;

constexpr std::array<std::string_view, 7> fanKeys{"FNum", "F0Mn", "F0Mx", "F0Ac",
                                                  "F1Mn", "F1Mx", "F1Ac"};
constexpr std::array<std::string_view, 8> fanControlKeys{"F0Tg", "F0Md", "F0md", "FS! ",
                                                         "F0Sf", "F0Mn", "F0Mx", "F0Ac"};

std::string fanKey(int index, std::string_view suffix) {
    return "F" + std::to_string(index) + std::string(suffix);
}

} // namespace

std::unique_ptr<SMCReadOnlyClient> SMCReadOnlyClient::create(IOKitPort& port) {
    auto opened = openSMCService(port);
    if (!opened) {
        return nullptr;
    }
    return std::unique_ptr<SMCReadOnlyClient>(
        new SMCReadOnlyClient(port, opened->connection, std::move(opened->serviceClassName)));
}

SMCReadOnlyClient::SMCReadOnlyClient(IOKitPort& port, IOConnectHandle connection,
                                     std::string serviceClassName)
    : port_(port), connection_(connection), serviceClassName_(std::move(serviceClassName)),
      smc_(std::make_unique<ReadOnlyConnection>(port, connection)) {}

SMCReadOnlyClient::~SMCReadOnlyClient() {
    port_.closeService(connection_);
}

std::optional<int> SMCReadOnlyClient::readFanCount() {
    const auto value = smc_->readValue("FNum");
    if (!value) {
        return std::nullopt;
    }
    for (const std::uint8_t byte : value->bytes) {
        if (byte > 0) {
            return byte;
        }
    }
    return value->bytes.empty() ? 0 : value->bytes.front();
}

std::optional<double> SMCReadOnlyClient::readRPM(std::string_view key) {
    const auto value = smc_->readValue(key);
    if (!value) {
        return std::nullopt;
    }
    return value->rpmValue();
}

std::optional<double> SMCReadOnlyClient::readCurrentPrimaryFanRPM() {
    return readRPM("F0Ac");
}

FanHardwareCapabilities SMCReadOnlyClient::readFanCapabilities() {
    const auto count = readFanCount();
    if (!count) {
        return FanHardwareCapabilities(0, std::nullopt, std::nullopt, std::nullopt,
                                       "FNum unavailable from " + serviceClassName_, {},
                                       FanHardwareSupportStatus::unavailable);
    }
    if (*count <= 0) {
        return FanHardwareCapabilities(0, std::nullopt, std::nullopt, std::nullopt,
                                       "No fan reported by " + serviceClassName_, {},
                                       FanHardwareSupportStatus::unsupportedNoFan);
    }
    const std::string source = serviceClassName_ + " read-only";
    std::vector<FanHardwareFan> fans;
    fans.reserve(static_cast<std::size_t>(*count));
    for (int index = 0; index < *count; ++index) {
        FanHardwareFan fan;
        fan.index = index;
        fan.displayName = "Fan " + std::to_string(index);
        fan.minimumRPM = readRPM(fanKey(index, "Mn"));
        fan.maximumRPM = readRPM(fanKey(index, "Mx"));
        fan.currentRPM = readRPM(fanKey(index, "Ac"));
        fan.source = source;
        fans.push_back(std::move(fan));
    }
    return FanHardwareCapabilities(*count, std::nullopt, std::nullopt, std::nullopt, source,
                                   std::move(fans), FanHardwareSupportStatus::supported);
}

std::string SMCReadOnlyClient::debugLine(std::string_view key) {
    return smc_->debugLine(key);
}

std::vector<std::string> SMCReadOnlyClient::debugFanKeyReport() {
    std::vector<std::string> lines{"smcService=" + serviceClassName_,
                                   "smcStructSize=" + std::to_string(smcKeyDataSize)};
    for (const std::string_view key : fanKeys) {
        lines.push_back(debugLine(key));
    }
    return lines;
}

std::vector<std::string> SMCReadOnlyClient::debugPotentialFanControlKeyReport() {
    std::vector<std::string> lines{
        "smcFanControlKeyProbe=read-only",
        "smcFanControlKeyProbeDetail=inspects candidate fan control keys without writing"};
    for (const std::string_view key : fanControlKeys) {
        lines.push_back(debugLine(key));
    }
    return lines;
}

std::string SMCReadOnlyClient::matrixReadSummary(IOKitPort& port, IOConnectHandle connection,
                                                 std::uint32_t selector, std::string_view key) {
    ReadOnlyConnection smc(port, connection);
    const SMCCallResult info = smc.readKeyInfo(key, selector);
    return "selector=" + std::to_string(selector) +
           " FNum.info=" + kernelResultText(info.kernelResult) +
           " result=" + std::to_string(info.output.result) +
           " type=" + fourCharacterString(info.output.keyInfo.dataType) +
           " size=" + std::to_string(info.output.keyInfo.dataSize) +
           " inputSize=" + std::to_string(smcKeyDataSize);
}

std::string SMCReadOnlyClient::ioClassName(IOKitPort& port, IOObjectHandle service) {
    return port.stringProperty(service, "IOClass").value_or("unknown");
}

std::vector<std::string> SMCReadOnlyClient::debugConnectionMatrix(IOKitPort& port) {
    std::vector<std::string> lines;
    for (const std::string_view className : matrixClassNames) {
        const std::string name(className);
        const IOServiceMatches matches = port.matchingServices(className);
        if (matches.result != kIOReturnSuccess) {
            lines.push_back(name + ": match=" + kernelResultText(matches.result));
            continue;
        }
        for (std::size_t m = 0; m < matches.services.size(); ++m) {
            const IOObjectHandle service = matches.services[m];
            lines.push_back(name + "[" + std::to_string(m) +
                            "] class=" + ioClassName(port, service));
            for (std::uint32_t type = 0; type < matrixUserClientTypes; ++type) {
                const IOServiceOpenResult opened = port.openService(service, type);
                const std::string prefix = "  type=" + std::to_string(type) + " open=";
                if (opened.result != kIOReturnSuccess) {
                    lines.push_back(prefix + kernelResultText(opened.result));
                    continue;
                }
                lines.push_back(
                    prefix + "success " +
                    matrixReadSummary(port, opened.connection, smcStructMethodSelector, "FNum"));
                port.closeService(opened.connection);
            }
            port.releaseObject(service);
        }
        if (matches.services.empty()) {
            lines.push_back(name + ": no matches");
        }
    }
    return lines;
}

} // namespace aerivo
