#include "app/helperclient/PrivilegedHelperHealth.h"

namespace aerivo {

const PrivilegedHelperHealth& PrivilegedHelperHealth::unavailable() {
    static const PrivilegedHelperHealth health = [] {
        PrivilegedHelperHealth result;
        result.label = expectedLabel();
        result.detail = "Helper executable is not bundled.";
        return result;
    }();
    return health;
}

} // namespace aerivo
