#pragma once

#include "platform/linuxhost/HelperJobPlacement.h"
#include "platform/posix/ProcessEnvironment.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace aerivo {

// The command line of aerivo-install-helper, the program the app runs through pkexec once the
// administrator approved:
//   authorize                  nothing but the approval itself; exit 0
//   install <label> <bundle>   HelperJobPlacement::install, the socket given to the group of the
//                              user who asked (pkexec's PKEXEC_UID, else sudo's SUDO_GID)
//   remove <label>             HelperJobPlacement::remove
// The exit code is the outcome's code and the message goes to standard error. A usage error
// exits 64; pkexec keeps 126 and 127 for its own refusals, so the program never uses them.
struct HelperInstallCommand {
    static constexpr int usageError = 64;

    using Output = std::function<void(const std::string& line)>;

    // `arguments` includes the program path.
    static int run(const std::vector<std::string>& arguments, HelperJobPlacement& placement,
                   const EnvironmentLookup& environment, const Output& errorOutput);

    // The name of the primary group of the user who asked, from the environment pkexec or sudo
    // leave; nothing when neither says or the account has no such group.
    static std::optional<std::string> invokingUserGroup(const EnvironmentLookup& environment);
};

} // namespace aerivo
