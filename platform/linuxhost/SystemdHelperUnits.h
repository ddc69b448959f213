#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace aerivo {

// The two systemd units that run the helper on a Linux host, as launchd runs it on a Mac:
// "<label>.socket" listens on the helper socket and "<label>.service" starts the installed
// helper as root on the first connection, handing it the listening socket as descriptor 3
// (LISTEN_FDS=1, LISTEN_FDNAMES=<label>). The socket is root's, mode 0660, group `socketGroup`
// (the group of the user who installed the helper, so that user's app can connect; admission
// still checks the app's signature), root's group without one.
struct SystemdHelperUnits {
    std::string label;
    std::filesystem::path helper; // the installed helper
    std::filesystem::path socket; // SystemPaths::helperSocket(label)
    std::optional<std::string> socketGroup;
    // Passed to the helper as AERIVO_SYSTEM_ROOT when it is not "/" (a test's root).
    std::filesystem::path systemRoot = "/";

    std::string socketUnitName() const { return label + ".socket"; }
    std::string serviceUnitName() const { return label + ".service"; }
    std::string socketUnit() const;
    std::string serviceUnit() const;

    // Whether every field can be written into a unit file as it is: a valid label, absolute
    // paths of letters, digits and "/._+-" only (nothing a unit file would read as a
    // specifier, a quote or a separator), and a group name of the usual form. The first problem,
    // else nothing.
    std::optional<std::string> problem() const;

    // [A-Za-z0-9._-], 1 to 200 bytes, not starting with "." or "-": a plain file name in every
    // folder it names ("<label>", "<label>.socket", "<label>.sock") and a valid unit name.
    static bool isValidLabel(std::string_view label);
    // [A-Za-z_][A-Za-z0-9_.-]*, at most 32 bytes (an optional final "$").
    static bool isValidGroupName(std::string_view group);
};

} // namespace aerivo
