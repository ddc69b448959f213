#include "app/model/PrivilegedHelperClient.h"

namespace aerivo {

PrivilegedHelperActionResult PrivilegedHelperClient::installPrivilegedHelper() {
    return PrivilegedHelperActionResult::failure(std::string{installUnavailableMessage});
}

PrivilegedHelperActionResult PrivilegedHelperClient::resetToSystem() {
    return PrivilegedHelperActionResult::failure(std::string{resetUnavailableMessage});
}

PrivilegedHelperActionResult PrivilegedHelperClient::holdManualTargetLease(double, int) {
    return PrivilegedHelperActionResult::failure(std::string{fanControlUnavailableMessage});
}

PrivilegedHelperActionResult PrivilegedHelperClient::renewCurveTargetLease(double, int) {
    return PrivilegedHelperActionResult::failure(std::string{curveRenewalUnavailableMessage});
}

} // namespace aerivo
