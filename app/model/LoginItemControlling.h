#pragma once

#include "app/distribution/LoginItemStatus.h"

namespace aerivo {

// The store's door to the login item.
class LoginItemControlling {
public:
    virtual ~LoginItemControlling() = default;

    // Read at construction and whenever the store refreshes the login-item state.
    virtual LoginItemStatus status() const = 0;
    // Registers or unregisters the app. Throws (a std::exception whose what() is shown to the
    // user) when the system refuses.
    virtual void setEnabled(bool enabled) = 0;
};

} // namespace aerivo
