#pragma once

#include "platform/HIDEventSystem.h"
#include "platform/IOKitPort.h"
#include "platform/SystemPaths.h"

#include <filesystem>
#include <memory>
#include <string>

namespace aerivo {

// The hardware backends of this process. On this platform the only hardware is the simulated
// Mac: when its device socket under the system root accepts a connection, IOKit and the HID
// event system are the simulator's; otherwise both are the "no hardware" backends, on which
// every match fails, so the readers fall back as they would on a Mac without the drivers.
struct SystemHardware {
    std::unique_ptr<IOKitPort> ioKit;
    std::unique_ptr<HIDEventSystem> eventSystem;
    // "simulator <socket path>" or "none".
    std::string description;

    static SystemHardware forPaths(const SystemPaths& paths);
    // Whether the simulator's socket under `systemRoot` accepts a connection right now.
    static bool isSimulatorReachable(const std::filesystem::path& systemRoot);
};

} // namespace aerivo
