#include "platform/SimulatorHIDEventSystem.h"

namespace aerivo {

namespace {

bool fitsU32(std::int64_t value) {
    return value >= 0 && value <= UINT32_MAX;
}

} // namespace

SimulatorHIDEventSystem::SimulatorHIDEventSystem()
    : SimulatorHIDEventSystem(SimulatorConnection::defaultSystemRoot()) {}

SimulatorHIDEventSystem::SimulatorHIDEventSystem(const std::filesystem::path& systemRoot)
    : connection_(SimulatorConnection::forRoot(systemRoot)) {}

std::optional<std::vector<HIDServiceHandle>>
SimulatorHIDEventSystem::copyServices(std::int64_t usagePage, std::int64_t usage) {
    if (!fitsU32(usagePage) || !fitsU32(usage)) {
        return std::vector<HIDServiceHandle>{};
    }
    std::optional<std::vector<HIDServiceHandle>> services;
    const bool ok = connection_->exchange(
        SimulatorOp::hidCopyServices,
        [&](SimulatorWireWriter& out) {
            out.u32(static_cast<std::uint32_t>(usagePage));
            out.u32(static_cast<std::uint32_t>(usage));
        },
        [&](SimulatorWireReader& in) {
            if (in.u8() != 1) {
                return;
            }
            services.emplace();
            const std::uint32_t count = in.u32();
            for (std::uint32_t i = 0; i < count && !in.failed(); ++i) {
                services->push_back(in.u32());
            }
        });
    return ok ? services : std::nullopt;
}

std::optional<std::string> SimulatorHIDEventSystem::copyStringProperty(HIDServiceHandle service,
                                                                       std::string_view key) {
    if (key != "Product" || service > UINT32_MAX) {
        return std::nullopt;
    }
    std::optional<std::string> product;
    connection_->exchange(
        SimulatorOp::hidProduct,
        [&](SimulatorWireWriter& out) { out.u32(static_cast<std::uint32_t>(service)); },
        [&](SimulatorWireReader& in) {
            if (in.u8() == 1) {
                product = in.string();
            }
        });
    return product;
}

std::optional<double> SimulatorHIDEventSystem::copyEventFloatValue(HIDServiceHandle service,
                                                                   std::int64_t eventType,
                                                                   std::int64_t field) {
    if (eventType != temperatureEventType || field != temperatureEventField ||
        service > UINT32_MAX) {
        return std::nullopt;
    }
    std::optional<double> value;
    connection_->exchange(
        SimulatorOp::hidTemperature,
        [&](SimulatorWireWriter& out) { out.u32(static_cast<std::uint32_t>(service)); },
        [&](SimulatorWireReader& in) {
            if (in.u8() == 1) {
                value = in.f64();
            }
        });
    return value;
}

} // namespace aerivo
