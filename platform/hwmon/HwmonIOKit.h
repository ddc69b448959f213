#pragma once

#include "platform/hwmon/HwmonSMCKeyTable.h"
#include "platform/services/IOKitPort.h"

#include <filesystem>
#include <memory>
#include <mutex>
#include <set>
#include <string>

namespace aerivo {

// IOKit of a Mac running Linux, over the kernel's hwmon interface (/sys/class/hwmon under a root
// that tests replace with a fake tree). The SMC device appears as the driver class a Mac of its
// kind has: "AppleSMCKeysEndpoint" for macsmc (Apple Silicon), "AppleSMC" for applesmc (Intel).
// Its one service opens a user client of type 0 (other types: kIOReturnUnsupported), and the
// struct method (selector 2) answers the four SMC commands from HwmonSMCKeyTable.
//
// Service string properties: "IOClass" (the chip name), "HwmonDevice" (the device's class path)
// and "FanWriteSupport" ("available: ..." or "unavailable: <why>", what the driver allows the
// helper to do with fan 0). Registry: "model" is the firmware's product name (DMI, Intel) or the
// device tree's first "compatible" entry (Apple Silicon); "product-name" the device tree's model
// text, else the DMI family; both as data with a trailing zero byte, as on a Mac.
//
// Only a port given a fan writer may write (the helper's); without one every write answers
// kIOReturnNotPrivileged, as the Mac's SMC answers a process without privilege. Safe for use
// from several threads: calls are serialised, as the SMC driver serialises them.
class HwmonIOKit final : public IOKitPort {
public:
    // The port over the first supported device under `root`; nothing when there is none.
    // `modeRecordFolder` holds the macsmc manual-mode records; `writers`, when set, makes the
    // device's fan writer; `files` (which must outlive the port) carries the attribute I/O.
    static std::unique_ptr<HwmonIOKit>
    open(const std::filesystem::path& root, const std::filesystem::path& modeRecordFolder,
         const HwmonFanWriterFactory& writers = {},
         const HwmonAttributeFiles& files = HwmonAttributeFiles::kernel());

    const HwmonDevice& device() const { return table_.device(); }
    // The class a Mac with this driver would show.
    const std::string& serviceClassName() const { return serviceClassName_; }
    // "hwmon <chip> <class path>", as --print-hardware shows it.
    std::string description() const;
    // "available: <what>" or "unavailable: <why>".
    std::string fanWriteSupportText() const;

    IOObjectHandle matchingService(std::string_view className) override;
    IOServiceMatches matchingServices(std::string_view className) override;
    std::optional<std::string> stringProperty(IOObjectHandle entry, std::string_view name) override;
    IOServiceOpenResult openService(IOObjectHandle service, std::uint32_t type) override;
    KernReturn callStructMethod(IOConnectHandle connection, std::uint32_t selector,
                                const IOStructMethodRecord& input,
                                IOStructMethodRecord& output) override;
    KernReturn closeService(IOConnectHandle connection) override;
    KernReturn releaseObject(IOObjectHandle object) override;
    std::optional<std::vector<std::uint8_t>> registryProperty(RegistryEntry entry,
                                                              std::string_view name) override;
    std::optional<std::string> registryStringProperty(RegistryEntry entry,
                                                      std::string_view name) override;

private:
    static constexpr IOObjectHandle serviceHandle = 1;

    explicit HwmonIOKit(HwmonSMCKeyTable table);

    // The device's class path as it is on the machine ("/sys/class/hwmon/hwmon2").
    std::string shownClassPath() const;
    // The registry text for "model" or "product-name"; nothing when the firmware has none.
    std::optional<std::string> registryText(std::string_view name) const;

    HwmonSMCKeyTable table_;
    std::string serviceClassName_;
    std::mutex mutex_;
    std::set<IOConnectHandle> connections_;
    IOConnectHandle nextConnection_ = 0x100;
};

} // namespace aerivo
