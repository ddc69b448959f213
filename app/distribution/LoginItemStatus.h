#pragma once

#include <array>

namespace aerivo {

// Whether the app opens at login. requiresApproval: registered, but the user still has to allow
// it in the system's login-item settings.
enum class LoginItemStatus { disabled, enabled, requiresApproval };

inline constexpr std::array<LoginItemStatus, 3> allLoginItemStatuses{
    LoginItemStatus::disabled, LoginItemStatus::enabled, LoginItemStatus::requiresApproval};

// True for enabled only; requiresApproval does not count.
constexpr bool isEnabled(LoginItemStatus status) {
    return status == LoginItemStatus::enabled;
}

} // namespace aerivo
