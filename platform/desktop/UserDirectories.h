#pragma once

#include "platform/posix/ProcessEnvironment.h"

#include <filesystem>
#include <optional>

namespace aerivo {

// The user's folders after the XDG base-directory rules. A variable that is unset, empty or not an
// absolute path is ignored, as those rules require, and the default under the home folder is used.
class UserDirectories {
public:
    explicit UserDirectories(EnvironmentLookup environment);

    // HOME when it is an absolute path, otherwise the home folder of the user's account entry.
    std::optional<std::filesystem::path> home() const;
    // XDG_CONFIG_HOME, else ~/.config.
    std::optional<std::filesystem::path> configHome() const;
    // XDG_DATA_HOME, else ~/.local/share.
    std::optional<std::filesystem::path> dataHome() const;

private:
    std::optional<std::filesystem::path> absoluteVariable(std::string_view name) const;

    EnvironmentLookup environment_;
};

} // namespace aerivo
