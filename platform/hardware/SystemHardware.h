#pragma once

#include "platform/hwmon/HwmonFanWriting.h"
#include "platform/posix/SystemPaths.h"
#include "platform/services/HIDEventSystem.h"
#include "platform/services/IOKitPort.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace aerivo {

// The hardware backends of this process, in this order of preference:
//   1. the simulated Mac, when its device socket under the system root accepts a connection;
//   2. a Mac's SMC through the kernel's hwmon interface (<root>/sys/class/hwmon), when a
//      supported driver (macsmc, applesmc) is there, with every hwmon temperature sensor as the
//      HID temperature services;
//   3. the "no hardware" backends, on which every match fails, so the readers fall back as they
//      would on a Mac without the drivers.
// Fan writes through hwmon need a writer, which only the helper passes in (HwmonFanWriter, from
// a library the app does not link), and only while its running image lies in the root's
// privileged helper tools folder (the installed helper), as the simulated Mac grants them.
struct SystemHardware {
    std::unique_ptr<IOKitPort> ioKit;
    std::unique_ptr<HIDEventSystem> eventSystem;
    // "simulator <socket path>", "hwmon <chip> <class path>" or "none".
    std::string description;

    // `hwmonWriters` makes the hwmon fan writer; without it the hwmon port is read-only.
    static SystemHardware forPaths(const SystemPaths& paths,
                                   const HwmonFanWriterFactory& hwmonWriters = {});
    // Whether the simulator's socket under `systemRoot` accepts a connection right now.
    static bool isSimulatorReachable(const std::filesystem::path& systemRoot);
    // Where the hwmon backend keeps its manual-mode records: aerivo-hwmon in the runtime state
    // folder (/run on a Linux host), so a reboot clears them.
    static std::filesystem::path hwmonStateFolder(const SystemPaths& paths);
    // Whether `executable` lies inside the privileged helper tools folder of `paths`.
    static bool isPrivilegedHelperImage(const SystemPaths& paths,
                                        const std::optional<std::string>& executable);
};

} // namespace aerivo
