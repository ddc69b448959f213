#pragma once

#include "app/model/LoginItemControlling.h"

#include <optional>
#include <stdexcept>
#include <string>

namespace aerivo {

// A login item whose status is set by the test; setEnabled throws `failure` when it is set.
class FakeLoginItemController final : public LoginItemControlling {
public:
    LoginItemStatus currentStatus = LoginItemStatus::disabled;
    std::optional<std::string> failure;

    LoginItemStatus status() const override { return currentStatus; }
    void setEnabled(bool enabled) override {
        if (failure) {
            throw std::runtime_error(*failure);
        }
        currentStatus = enabled ? LoginItemStatus::enabled : LoginItemStatus::disabled;
    }
};

} // namespace aerivo
