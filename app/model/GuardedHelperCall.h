#pragma once

#include "app/helperclient/PrivilegedHelperActionResult.h"
#include "app/helperclient/PrivilegedHelperHealth.h"
#include "app/model/PrivilegedHelperClient.h"

#include <exception>
#include <string>

namespace aerivo {

// Runs a helper call that should never throw; one that does counts as a failed call, so work on
// a queue always hands a result back (an in-flight mark or a busy state can never stick).
template <typename Call> PrivilegedHelperActionResult guardedHelperCall(Call&& call) {
    try {
        return call();
    } catch (const std::exception& error) {
        return PrivilegedHelperActionResult::failure(error.what());
    } catch (...) {
        return PrivilegedHelperActionResult::failure("The helper client failed.");
    }
}

// The helper's health; a client that throws reports the helper unavailable, saying why.
inline PrivilegedHelperHealth guardedHealthRead(PrivilegedHelperClient& helper) {
    try {
        return helper.readHealth();
    } catch (const std::exception& error) {
        PrivilegedHelperHealth health = PrivilegedHelperHealth::unavailable();
        health.detail = error.what();
        return health;
    } catch (...) {
        return PrivilegedHelperHealth::unavailable();
    }
}

} // namespace aerivo
