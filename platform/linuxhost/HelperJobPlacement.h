#pragma once

#include "platform/codesign/CodeSigning.h"
#include "platform/posix/ProcessRunner.h"
#include "platform/posix/SystemPaths.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace aerivo {

// What installing the helper does as root on a Linux host, the part SMJobBless and launchd do on
// a Mac. Run by aerivo-install-helper after the administrator approved (pkexec); the root is
// "/" there and a temporary folder in tests.
//
// Installing, in this order, each step only after the one before succeeded:
//   1. the app bundle's trust anchors (Contents/Resources/TrustAnchors/*.pem) go into the
//      system's trust anchors, so the app's signing team is trusted here;
//   2. the bundled helper and its signature are copied into the privileged helper tools folder
//      under a hidden name, and that copy (root's, beyond the user's reach) is what gets
//      checked: its signature must satisfy the app's SMPrivilegedExecutables requirement for the
//      label, and carry a launchd property list whose Label is the label;
//   3. the copy becomes the installed helper (mode 0544, its signature 0444);
//   4. the two systemd units are written, systemd reloads them, and the socket is enabled and
//      started, so the first connection starts the helper.
// A failure removes what step 2 staged and says why; anchors and an earlier installed helper
// stay. Removing stops and disables both units, then deletes them, the helper and its signature.
//
// Outcome codes are ServiceManagement's, as the app's installer reports them: 0 success,
// 2 internal failure (a file could not be written), 3 invalid signature, 5 tool not valid (no
// bundled helper, no requirement for it, a bad label), 6 job not found, 7 service unavailable
// (systemctl failed), 8 no launchd property list, 10 invalid property list.
class HelperJobPlacement {
public:
    struct Outcome {
        int code = 0;
        std::string message;

        bool operator==(const Outcome&) const = default;
    };

    static constexpr int internalFailure = 2;
    static constexpr int invalidSignature = 3;
    static constexpr int toolNotValid = 5;
    static constexpr int jobNotFound = 6;
    static constexpr int serviceUnavailable = 7;
    static constexpr int jobPlistNotFound = 8;
    static constexpr int invalidPlist = 10;

    HelperJobPlacement(SystemPaths paths, const CodeSigning& signing, ProcessRunner& runner);

    Outcome install(std::string_view label, const std::filesystem::path& appBundle,
                    const std::optional<std::string>& socketGroup);
    Outcome remove(std::string_view label);

    std::filesystem::path installedHelper(std::string_view label) const;
    std::filesystem::path unitFile(std::string_view unitName) const;

private:
    std::optional<std::string> installAnchors(const std::filesystem::path& appBundle);
    // Runs systemctl with the arguments; its complaint when it fails, else nothing.
    std::optional<std::string> systemctl(const std::vector<std::string>& arguments);

    SystemPaths paths_;
    const CodeSigning& signing_;
    ProcessRunner& runner_;
};

} // namespace aerivo
