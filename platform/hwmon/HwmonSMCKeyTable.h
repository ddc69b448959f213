#pragma once

#include "platform/hwmon/HwmonDevice.h"
#include "platform/hwmon/HwmonFanWriting.h"
#include "platform/hwmon/HwmonManualModeRecord.h"
#include "shared/KernelReturn.h"
#include "shared/SMCKeyData.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace aerivo {

// The SMC key view of a hwmon fan device: the keys the product reads and writes, answered from
// the device's attribute files in the SMC's own types, so the clients cannot tell it from a
// Mac's SMC. SMC fan i is hwmon fan i + 1.
//
//   #KEY   ui32  number of keys (big-endian)
//   FNum   ui8   number of fans
//   FiAc   flt   fanX_input                       rpm
//   FiMn   flt   fanX_min                         rpm, only when the attribute exists
//   FiMx   flt   fanX_max                         rpm, only when the attribute exists
//   FiTg   flt   fanX_target / fanX_output        rpm, writable
//   Fimd   ui8   fanX_manual (applesmc), the manual-mode record (macsmc); 0 system, 1 manual;
//                writable
//
// Every other key answers SMC result 132, as on a Mac without it. Values are read afresh on
// every command. An attribute the kernel cannot read fails the command with the kernel code of
// its errno; one that holds no speed in 0...maximumRPM (or no mode 0 or 1) answers SMC result
// keyNotReadable.
//
// Writes of FiTg and Fimd go to the writer the table was given (HwmonFanWriter describes what
// each driver gets); without one, every write answers kIOReturnNotPrivileged, as the Mac's SMC
// answers a process without privilege. Other keys are not writable.
class HwmonSMCKeyTable {
public:
    static constexpr std::int64_t maximumRPM = 100000;

    // EACCES/EPERM kIOReturnNotPermitted, EOPNOTSUPP kIOReturnUnsupported, EINVAL/ERANGE
    // kIOReturnBadArgument, ENOENT/ENODEV/ENXIO kIOReturnNoDevice, anything else kIOReturnError.
    static KernReturn kernelCodeForErrno(int error);

    // `writer` may be null: a read-only table.
    HwmonSMCKeyTable(HwmonDevice device, HwmonManualModeRecord modeRecord,
                     std::unique_ptr<HwmonFanWriting> writer);

    // One command of the call record: the kernel code, and in `output` the controller's answer.
    KernReturn execute(const SMCKeyData& input, SMCKeyData& output) const;
    bool isWritable() const { return writer_ != nullptr; }

    // The key names, in the order the index command enumerates them.
    std::vector<std::string> keyNames() const;
    const HwmonDevice& device() const { return device_; }

private:
    enum class Kind { keyCount, fanCount, actual, minimum, maximum, target, mode };
    struct Key {
        std::string name;
        std::string type;
        std::uint32_t size = 0;
        Kind kind = Kind::keyCount;
        int fanNumber = 0; // hwmon numbering; 0 for the global keys
    };
    struct Read {
        KernReturn kernel = kIOReturnSuccess;
        std::uint8_t smcResult = 0;
        std::vector<std::uint8_t> bytes;
    };

    const Key* find(std::uint32_t code) const;
    Read read(const Key& key) const;
    Read readSpeed(const std::filesystem::path& attribute) const;
    Read readMode(int fanNumber) const;

    HwmonDevice device_;
    HwmonManualModeRecord modeRecord_;
    std::unique_ptr<HwmonFanWriting> writer_;
    bool writeSupported_ = false;
    // The fans found at construction: the keys are made for them, so FNum never names a fan
    // whose keys do not exist.
    int fanCount_ = 0;
    std::vector<Key> keys_; // by key code
};

} // namespace aerivo
