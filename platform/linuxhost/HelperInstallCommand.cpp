#include "platform/linuxhost/HelperInstallCommand.h"

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

#include <charconv>

namespace aerivo {

namespace {

std::optional<unsigned long> wholeNumber(const std::optional<std::string>& text) {
    if (!text || text->empty()) {
        return std::nullopt;
    }
    unsigned long value = 0;
    const auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), value);
    if (error != std::errc() || end != text->data() + text->size()) {
        return std::nullopt;
    }
    return value;
}

std::optional<gid_t> primaryGroupOf(uid_t user) {
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(user, &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr) {
        return std::nullopt;
    }
    return found->pw_gid;
}

std::optional<std::string> groupName(gid_t group) {
    std::vector<char> buffer(16384);
    struct group entry {};
    struct group* found = nullptr;
    if (::getgrgid_r(group, &entry, buffer.data(), buffer.size(), &found) != 0 ||
        found == nullptr || found->gr_name == nullptr) {
        return std::nullopt;
    }
    return std::string(found->gr_name);
}

} // namespace

std::optional<std::string>
HelperInstallCommand::invokingUserGroup(const EnvironmentLookup& environment) {
    if (const auto user = wholeNumber(environment("PKEXEC_UID"))) {
        if (const auto group = primaryGroupOf(static_cast<uid_t>(*user))) {
            return groupName(*group);
        }
        return std::nullopt;
    }
    if (const auto group = wholeNumber(environment("SUDO_GID"))) {
        return groupName(static_cast<gid_t>(*group));
    }
    return std::nullopt;
}

int HelperInstallCommand::run(const std::vector<std::string>& arguments,
                              HelperJobPlacement& placement, const EnvironmentLookup& environment,
                              const Output& errorOutput) {
    const std::vector<std::string> words(
        arguments.empty() ? arguments.begin() : arguments.begin() + 1, arguments.end());
    HelperJobPlacement::Outcome outcome;
    if (words.size() == 1 && words[0] == "authorize") {
        return 0;
    }
    if (words.size() == 3 && words[0] == "install") {
        outcome = placement.install(words[1], words[2], invokingUserGroup(environment));
    } else if (words.size() == 2 && words[0] == "remove") {
        outcome = placement.remove(words[1]);
    } else {
        errorOutput("usage: aerivo-install-helper authorize | install <label> <app bundle> | "
                    "remove <label>");
        return usageError;
    }
    errorOutput(outcome.message);
    return outcome.code;
}

} // namespace aerivo
