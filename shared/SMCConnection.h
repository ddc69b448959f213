#pragma once

#include "shared/KernelReturn.h"
#include "shared/SMCKeyData.h"
#include "shared/SMCValue.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace aerivo {

// The answer to one raw SMC command: the kernel code and the record the driver sent back (all
// zero when the driver sent nothing).
struct SMCCallResult {
    KernReturn kernelResult = kIOReturnSuccess;
    SMCKeyData output;

    // The command worked: kernel code 0 and SMC result byte 0.
    bool isSuccess() const { return kernelResult == kIOReturnSuccess && output.result == 0; }

    bool operator==(const SMCCallResult&) const = default;
};

// One open SMC user-client connection and the command sequences spoken over it. Backends supply
// the struct-method call; everything above it (the two-step read, key enumeration, the
// diagnostic line) is written once here and shared by every SMC client of both programs. The
// write sequence is apart, in shared/smcwrite/, which only the helper links.
class SMCConnection {
public:
    SMCConnection() = default;
    SMCConnection(const SMCConnection&) = delete;
    SMCConnection& operator=(const SMCConnection&) = delete;
    virtual ~SMCConnection() = default;

    // The struct method with the given selector: 80 bytes in, 80 bytes out.
    virtual KernReturn callStructMethod(std::uint32_t selector, const SMCKeyData& input,
                                        SMCKeyData& output) = 0;

    // The SMC selector (2). The output starts zeroed, so a failed call leaves a zero record.
    SMCCallResult call(const SMCKeyData& input);

    // Raw commands, one call each: the key-information command (with any selector, for the
    // connection matrix) and the byte read with the given size.
    SMCCallResult readKeyInfo(std::string_view key,
                              std::uint32_t selector = smcStructMethodSelector);
    SMCCallResult readBytes(std::string_view key, std::uint32_t dataSize);

    // The two-step read: key information, then the bytes of the reported size. Nothing when
    // either step fails (kernel code or SMC result byte non-zero), and for a key that is not
    // exactly four bytes (no call is made).
    std::optional<SMCValue> readValue(std::string_view key);

    // The key at a zero-based index, accepted only as four printable ASCII characters.
    std::optional<std::string> key(std::uint32_t index);

    // One diagnostic line built from the raw calls, showing every code:
    //   "<key>: info=<text> inputSize=80" when the information call fails in the kernel, else
    //   "<key>: info=<text> result=<n> type=<type> size=<n> read=<text> readResult=<n>
    //    inputSize=80 bytes=[<hex>]" with the size capped at 32.
    std::string debugLine(std::string_view key);
};

// All 32 value bytes of a record, in order.
std::vector<std::uint8_t> byteArray(const SMCKeyData& data);

} // namespace aerivo
