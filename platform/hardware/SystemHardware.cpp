#include "platform/hardware/SystemHardware.h"

#include "platform/hwmon/HwmonHIDEventSystem.h"
#include "platform/hwmon/HwmonIOKit.h"
#include "platform/services/NoHardwareHIDEventSystem.h"
#include "platform/services/NoHardwareIOKit.h"
#include "platform/simulator/SimulatorHIDEventSystem.h"
#include "platform/simulator/SimulatorIOKit.h"
#include "shared/SimulatorWire.h"

#include <asio.hpp>

namespace aerivo {

namespace fs = std::filesystem;

bool SystemHardware::isSimulatorReachable(const fs::path& systemRoot) {
    const fs::path socket = simulatorSocketPath(systemRoot);
    std::error_code error;
    if (!fs::is_socket(socket, error)) {
        return false;
    }
    asio::io_context io;
    asio::local::stream_protocol::socket probe(io);
    probe.connect(asio::local::stream_protocol::endpoint(socket.string()), error);
    const bool reachable = !error;
    probe.close(error);
    return reachable;
}

fs::path SystemHardware::hwmonStateFolder(const SystemPaths& paths) {
    return paths.runtimeState() / "aerivo-hwmon";
}

bool SystemHardware::isPrivilegedHelperImage(const SystemPaths& paths,
                                             const std::optional<std::string>& executable) {
    if (!executable) {
        return false;
    }
    std::error_code error;
    const fs::path folder = fs::weakly_canonical(paths.privilegedHelperTools(), error);
    if (error) {
        return false;
    }
    const fs::path image = fs::weakly_canonical(*executable, error);
    if (error) {
        return false;
    }
    const fs::path relative = image.lexically_relative(folder);
    return !relative.empty() && *relative.begin() != ".." && relative != ".";
}

SystemHardware SystemHardware::forPaths(const SystemPaths& paths,
                                        const HwmonFanWriterFactory& hwmonWriters) {
    SystemHardware hardware;
    if (isSimulatorReachable(paths.root())) {
        hardware.ioKit = std::make_unique<SimulatorIOKit>(paths.root());
        hardware.eventSystem = std::make_unique<SimulatorHIDEventSystem>(paths.root());
        hardware.description = "simulator " + simulatorSocketPath(paths.root()).string();
        return hardware;
    }
    if (auto hwmon = HwmonIOKit::open(paths.root(), hwmonStateFolder(paths), hwmonWriters)) {
        hardware.description = hwmon->description();
        hardware.ioKit = std::move(hwmon);
        hardware.eventSystem = std::make_unique<HwmonHIDEventSystem>(paths.root());
        return hardware;
    }
    hardware.ioKit = std::make_unique<NoHardwareIOKit>();
    hardware.eventSystem = std::make_unique<NoHardwareHIDEventSystem>();
    hardware.description = "none";
    return hardware;
}

} // namespace aerivo
