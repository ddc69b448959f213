#pragma once

#include <cstdint>
#include <string>

namespace aerivo {

// A kernel return code as the Mac's IOKit calls report it (kern_return_t / IOReturn): a signed
// 32-bit value, 0 for success. The named values are the Mac's own, so texts and logs read the
// same whichever backend answered.
using KernReturn = std::int32_t;

namespace detail {
constexpr KernReturn ioReturnCode(std::uint32_t bits) {
    return static_cast<KernReturn>(bits);
}
} // namespace detail

inline constexpr KernReturn kIOReturnSuccess = 0;
inline constexpr KernReturn kIOReturnError = detail::ioReturnCode(0xE00002BC);
inline constexpr KernReturn kIOReturnNoMemory = detail::ioReturnCode(0xE00002BD);
inline constexpr KernReturn kIOReturnNoResources = detail::ioReturnCode(0xE00002BE);
inline constexpr KernReturn kIOReturnNoDevice = detail::ioReturnCode(0xE00002C0);
inline constexpr KernReturn kIOReturnNotPrivileged = detail::ioReturnCode(0xE00002C1);
inline constexpr KernReturn kIOReturnBadArgument = detail::ioReturnCode(0xE00002C2);
inline constexpr KernReturn kIOReturnExclusiveAccess = detail::ioReturnCode(0xE00002C5);
inline constexpr KernReturn kIOReturnUnsupported = detail::ioReturnCode(0xE00002C7);
inline constexpr KernReturn kIOReturnNotOpen = detail::ioReturnCode(0xE00002CD);
inline constexpr KernReturn kIOReturnTimeout = detail::ioReturnCode(0xE00002D6);
inline constexpr KernReturn kIOReturnNotPermitted = detail::ioReturnCode(0xE00002E2);
inline constexpr KernReturn kIOReturnNotFound = detail::ioReturnCode(0xE00002F0);

static_assert(kIOReturnBadArgument == -536870206);
static_assert(kIOReturnNotPrivileged == -536870207);

// A kernel code as diagnostics write it: "success", or a name with the signed decimal code,
// "badArgument(-536870206)"; codes without a name read "kern(<code>)".
std::string kernelResultText(KernReturn code);

} // namespace aerivo
