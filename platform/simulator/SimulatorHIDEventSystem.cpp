#include "platform/simulator/SimulatorHIDEventSystem.h"

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
    const auto page = static_cast<std::uint32_t>(usagePage);
    const auto use = static_cast<std::uint32_t>(usage);
    std::lock_guard lock(mutex_);
    copied_.clear();
    if (combinedCallRefused_) {
        return copyServicesOneByOne(page, use);
    }
    std::optional<std::vector<HIDServiceHandle>> services;
    std::map<HIDServiceHandle, CopiedService> copied;
    const bool ok = connection_->exchange(
        SimulatorOp::hidCopyServiceSnapshot,
        [&](SimulatorWireWriter& out) {
            out.u32(page);
            out.u32(use);
        },
        [&](SimulatorWireReader& in) {
            if (in.u8() != 1) {
                return;
            }
            services.emplace();
            const std::uint32_t count = in.u32();
            for (std::uint32_t i = 0; i < count && !in.failed(); ++i) {
                const HIDServiceHandle id = in.u32();
                CopiedService service;
                if (in.u8() == 1) {
                    service.product = in.string();
                }
                if (in.u8() == 1) {
                    service.temperature = in.f64();
                }
                services->push_back(id);
                copied[id] = std::move(service);
            }
        });
    if (ok) {
        copied_ = std::move(copied);
        return services;
    }
    // An older simulator closes the connection on an operation it does not know; a simulator
    // that cannot be reached fails the same way, and is asked again next time.
    auto listed = copyServicesOneByOne(page, use);
    if (listed) {
        combinedCallRefused_ = true;
    }
    return listed;
}

std::optional<std::vector<HIDServiceHandle>>
SimulatorHIDEventSystem::copyServicesOneByOne(std::uint32_t usagePage, std::uint32_t usage) {
    std::optional<std::vector<HIDServiceHandle>> services;
    const bool ok = connection_->exchange(
        SimulatorOp::hidCopyServices,
        [&](SimulatorWireWriter& out) {
            out.u32(usagePage);
            out.u32(usage);
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
    {
        // A service's product never changes, so the copied one answers for as long as it is
        // listed.
        std::lock_guard lock(mutex_);
        if (const auto found = copied_.find(service); found != copied_.end()) {
            return found->second.product;
        }
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
    {
        std::lock_guard lock(mutex_);
        if (const auto found = copied_.find(service);
            found != copied_.end() && !found->second.temperatureTaken) {
            found->second.temperatureTaken = true;
            return found->second.temperature;
        }
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
