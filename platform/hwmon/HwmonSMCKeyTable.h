#pragma once

#include "platform/hwmon/HwmonDevice.h"
#include "platform/hwmon/HwmonManualModeRecord.h"
#include "shared/KernelReturn.h"
#include "shared/SMCKeyData.h"

#include <cstdint>
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
// Writes:
//   - only when the caller may write (the helper), else kIOReturnNotPrivileged;
//   - a target must be a finite speed in 0...maximumRPM (SMC result badArgument otherwise),
//     written rounded to a whole rpm; a mode must be 0 or 1;
//   - applesmc: the mode goes to fanX_manual and the target to fanX_output, as given;
//   - macsmc: the driver takes a fan under manual control when a speed is written to fanX_target
//     and hands it back when 0 is written. Mode 1 is recorded (refused with kIOReturnNotPermitted
//     when fanX_target carries no write bit, so the record never claims a fan the driver cannot
//     drive); a target written while the fan is recorded manual goes to the driver (0 ends the
//     manual mode, and its record with it); a target written under system control is accepted
//     and not passed on, since passing it on would take the fan without a record of it, as a
//     Mac's SMC keeps ignoring a target until the mode says manual; mode 0 writes 0 to
//     fanX_target, then removes the record.
// An attribute without a write bit is never written (kIOReturnNotPermitted), whoever asks.
// Kernel errors of a write map to kernel codes: EACCES/EPERM kIOReturnNotPermitted, EOPNOTSUPP
// kIOReturnUnsupported, EINVAL/ERANGE kIOReturnBadArgument, ENOENT/ENODEV/ENXIO
// kIOReturnNoDevice, anything else kIOReturnError.
class HwmonSMCKeyTable {
public:
    static constexpr std::int64_t maximumRPM = 100000;

    HwmonSMCKeyTable(HwmonDevice device, HwmonManualModeRecord modeRecord);

    // One command of the call record: the kernel code, and in `output` the controller's answer.
    KernReturn execute(const SMCKeyData& input, SMCKeyData& output, bool mayWrite) const;

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
    KernReturn write(const Key& key, const std::vector<std::uint8_t>& bytes,
                     std::uint8_t& smcResult) const;
    KernReturn writeTarget(int fanNumber, double rpm) const;
    KernReturn writeMode(int fanNumber, bool manual) const;

    HwmonDevice device_;
    HwmonManualModeRecord modeRecord_;
    bool writeSupported_ = false;
    // The fans found at construction: the keys are made for them, so FNum never names a fan
    // whose keys do not exist.
    int fanCount_ = 0;
    std::vector<Key> keys_; // by key code
};

} // namespace aerivo
