#include "shared/KernelReturn.h"

namespace aerivo {

std::string kernelResultText(KernReturn code) {
    const std::string number = "(" + std::to_string(code) + ")";
    if (code == kIOReturnSuccess) {
        return "success";
    }
    if (code == kIOReturnBadArgument) {
        return "badArgument" + number;
    }
    if (code == kIOReturnNotPrivileged) {
        return "notPrivileged" + number;
    }
    if (code == kIOReturnUnsupported) {
        return "unsupported" + number;
    }
    if (code == kIOReturnNotPermitted) {
        return "notPermitted" + number;
    }
    return "kern" + number;
}

} // namespace aerivo
