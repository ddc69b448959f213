#pragma once

#include <string>

namespace aerivo {

// One precondition of fan writes, identified by its title (lower-case English).
struct FanWriteRequirement {
    std::string title;
    bool isSatisfied = false;

    const std::string& id() const { return title; }

    friend bool operator==(const FanWriteRequirement&, const FanWriteRequirement&) = default;
};

} // namespace aerivo
