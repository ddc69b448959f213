#include "helper/core/SMCProbeClient.h"

#include "platform/services/SMCServiceConnection.h"
#include "shared/smcwrite/SMCValueWriter.h"

#include <algorithm>

namespace aerivo {

namespace {

// A count read from "#KEY" is believed only below this; anything larger is the wrong byte order
// or garbage.
constexpr std::uint32_t keyCountLimit = 100000;

} // namespace

std::unique_ptr<SMCProbeClient> SMCProbeClient::open(IOKitPort& port) {
    std::optional<SMCServiceConnection> opened = openSMCService(port);
    if (!opened) {
        return nullptr;
    }
    return std::unique_ptr<SMCProbeClient>(
        new SMCProbeClient(port, opened->connection, std::move(opened->serviceClassName)));
}

SMCProbeClient::SMCProbeClient(IOKitPort& port, IOConnectHandle connection,
                               std::string serviceClassName)
    : port_(port), serviceClassName_(std::move(serviceClassName)), connection_(connection),
      smc_(port, connection) {}

SMCProbeClient::~SMCProbeClient() {
    port_.closeService(connection_);
}

std::optional<SMCValue> SMCProbeClient::readValue(std::string_view key) {
    return smc_.readValue(key);
}

FanTargetWriteResult SMCProbeClient::writeValue(const SMCValue& value) {
    return writeSMCValue(smc_, value);
}

std::optional<std::uint32_t> SMCProbeClient::keyCount() {
    const std::optional<SMCValue> value = readValue("#KEY");
    if (!value || value->bytes.size() < 4) {
        return std::nullopt;
    }
    const auto b = [&](std::size_t i) { return static_cast<std::uint32_t>(value->bytes[i]); };
    const std::uint32_t bigEndian = b(0) << 24 | b(1) << 16 | b(2) << 8 | b(3);
    const std::uint32_t littleEndian = b(0) | b(1) << 8 | b(2) << 16 | b(3) << 24;
    for (const std::uint32_t candidate : {bigEndian, littleEndian}) {
        if (candidate != 0 && candidate < keyCountLimit) {
            return candidate;
        }
    }
    return std::nullopt;
}

std::optional<std::string> SMCProbeClient::key(std::uint32_t index) {
    return smc_.key(index);
}

std::vector<std::string> SMCProbeClient::fanRelatedKeys() {
    const std::optional<std::uint32_t> count = keyCount();
    keyCountText_ = count ? std::to_string(*count) : "unknown";
    const std::uint32_t scanLength =
        std::min(count.value_or(defaultScannedKeys), maximumScannedKeys);
    std::vector<std::string> keys;
    for (std::uint32_t index = 0; index < scanLength; ++index) {
        std::optional<std::string> name = key(index);
        if (name && name->starts_with('F')) {
            keys.push_back(std::move(*name));
        }
    }
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
    return keys;
}

std::string SMCProbeClient::debugLine(std::string_view key) {
    return smc_.debugLine(key);
}

std::string SMCProbeClient::kernelResultText(KernReturn code) {
    return aerivo::kernelResultText(code);
}

} // namespace aerivo
