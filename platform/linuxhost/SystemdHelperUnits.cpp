#include "platform/linuxhost/SystemdHelperUnits.h"

#include <algorithm>

namespace aerivo {

namespace {

bool isAsciiAlphanumeric(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

bool isPlainAbsolutePath(const std::filesystem::path& path) {
    const std::string text = path.string();
    return !text.empty() && text.front() == '/' &&
           std::all_of(text.begin(), text.end(), [](char c) {
               return isAsciiAlphanumeric(c) || c == '/' || c == '.' || c == '_' || c == '+' ||
                      c == '-';
           });
}

// /var/run is a link to /run on every systemd host, and systemd asks for the real path.
std::string unitPath(const std::filesystem::path& path) {
    const std::string text = path.lexically_normal().string();
    constexpr std::string_view legacy = "/var/run/";
    return text.starts_with(legacy) ? "/run/" + text.substr(legacy.size()) : text;
}

} // namespace

bool SystemdHelperUnits::isValidLabel(std::string_view label) {
    return !label.empty() && label.size() <= 200 && label.front() != '.' && label.front() != '-' &&
           std::all_of(label.begin(), label.end(), [](char c) {
               return isAsciiAlphanumeric(c) || c == '.' || c == '_' || c == '-';
           });
}

bool SystemdHelperUnits::isValidGroupName(std::string_view group) {
    if (group.ends_with('$')) {
        group.remove_suffix(1);
    }
    if (group.empty() || group.size() > 32) {
        return false;
    }
    const char first = group.front();
    if (!((first >= 'a' && first <= 'z') || (first >= 'A' && first <= 'Z') || first == '_')) {
        return false;
    }
    return std::all_of(group.begin(), group.end(), [](char c) {
        return isAsciiAlphanumeric(c) || c == '_' || c == '.' || c == '-';
    });
}

std::optional<std::string> SystemdHelperUnits::problem() const {
    if (!isValidLabel(label)) {
        return "\"" + label + "\" is not a valid job label";
    }
    for (const auto* path : {&helper, &socket, &systemRoot}) {
        if (!isPlainAbsolutePath(*path)) {
            return "the path \"" + path->string() + "\" cannot be written into a unit file";
        }
    }
    if (socketGroup && !isValidGroupName(*socketGroup)) {
        return "\"" + *socketGroup + "\" is not a valid group name";
    }
    return std::nullopt;
}

std::string SystemdHelperUnits::socketUnit() const {
    std::string unit = "[Unit]\n"
                       "Description=Aerivo Mac privileged helper socket (" +
                       label +
                       ")\n"
                       "\n"
                       "[Socket]\n"
                       "ListenStream=" +
                       unitPath(socket) +
                       "\n"
                       "SocketMode=0660\n"
                       "SocketUser=root\n";
    if (socketGroup) {
        unit += "SocketGroup=" + *socketGroup + "\n";
    }
    unit += "FileDescriptorName=" + label +
            "\n"
            "Accept=no\n"
            "RemoveOnStop=yes\n"
            "\n"
            "[Install]\n"
            "WantedBy=sockets.target\n";
    return unit;
}

std::string SystemdHelperUnits::serviceUnit() const {
    std::string unit = "[Unit]\n"
                       "Description=Aerivo Mac privileged helper (" +
                       label +
                       ")\n"
                       "Requires=" +
                       socketUnitName() +
                       "\n"
                       "After=" +
                       socketUnitName() +
                       "\n"
                       "\n"
                       "[Service]\n"
                       "Type=simple\n"
                       "ExecStart=" +
                       unitPath(helper) +
                       "\n"
                       "User=root\n"
                       "Group=root\n";
    if (systemRoot.lexically_normal() != "/") {
        unit += "Environment=AERIVO_SYSTEM_ROOT=" + systemRoot.lexically_normal().string() + "\n";
    }
    // It drives fans through /sys and keeps its records under /run; it reads the images of its
    // clients (which may live in a home folder) but writes nowhere else.
    unit += "NoNewPrivileges=yes\n"
            "PrivateTmp=yes\n"
            "ProtectSystem=full\n"
            "ProtectHome=read-only\n";
    return unit;
}

} // namespace aerivo
