#include "platform/desktop/UserDirectories.h"

#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace aerivo {

namespace {

std::optional<std::filesystem::path> accountHome() {
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 ||
        found == nullptr || found->pw_dir == nullptr || found->pw_dir[0] != '/') {
        return std::nullopt;
    }
    return std::filesystem::path(found->pw_dir);
}

} // namespace

UserDirectories::UserDirectories(EnvironmentLookup environment)
    : environment_(std::move(environment)) {}

std::optional<std::filesystem::path>
UserDirectories::absoluteVariable(std::string_view name) const {
    const std::optional<std::string> value = environment_(name);
    if (!value || value->empty() || value->front() != '/') {
        return std::nullopt;
    }
    return std::filesystem::path(*value);
}

std::optional<std::filesystem::path> UserDirectories::home() const {
    if (auto home = absoluteVariable("HOME")) {
        return home;
    }
    return accountHome();
}

std::optional<std::filesystem::path> UserDirectories::configHome() const {
    if (auto config = absoluteVariable("XDG_CONFIG_HOME")) {
        return config;
    }
    const auto home = this->home();
    if (!home) {
        return std::nullopt;
    }
    return *home / ".config";
}

std::optional<std::filesystem::path> UserDirectories::dataHome() const {
    if (auto data = absoluteVariable("XDG_DATA_HOME")) {
        return data;
    }
    const auto home = this->home();
    if (!home) {
        return std::nullopt;
    }
    return *home / ".local" / "share";
}

} // namespace aerivo
