#include "platform/SystemHardware.h"

#include "platform/NoHardwareHIDEventSystem.h"
#include "platform/NoHardwareIOKit.h"
#include "platform/SimulatorHIDEventSystem.h"
#include "platform/SimulatorIOKit.h"
#include "shared/SimulatorWire.h"

#include <asio.hpp>

namespace aerivo {

bool SystemHardware::isSimulatorReachable(const std::filesystem::path& systemRoot) {
    const std::filesystem::path socket = simulatorSocketPath(systemRoot);
    std::error_code error;
    if (!std::filesystem::is_socket(socket, error)) {
        return false;
    }
    asio::io_context io;
    asio::local::stream_protocol::socket probe(io);
    probe.connect(asio::local::stream_protocol::endpoint(socket.string()), error);
    const bool reachable = !error;
    probe.close(error);
    return reachable;
}

SystemHardware SystemHardware::forPaths(const SystemPaths& paths) {
    SystemHardware hardware;
    if (isSimulatorReachable(paths.root())) {
        hardware.ioKit = std::make_unique<SimulatorIOKit>(paths.root());
        hardware.eventSystem = std::make_unique<SimulatorHIDEventSystem>(paths.root());
        hardware.description = "simulator " + simulatorSocketPath(paths.root()).string();
    } else {
        hardware.ioKit = std::make_unique<NoHardwareIOKit>();
        hardware.eventSystem = std::make_unique<NoHardwareHIDEventSystem>();
        hardware.description = "none";
    }
    return hardware;
}

} // namespace aerivo
