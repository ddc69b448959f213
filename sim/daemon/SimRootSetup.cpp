#include "sim/daemon/SimRootSetup.h"

#include <sys/stat.h>
#include <unistd.h>

namespace aerivo {

namespace {

// Copies next to the destination, then renames over it.
std::optional<std::string> installCopy(const std::filesystem::path& source,
                                       const std::filesystem::path& destination,
                                       std::filesystem::perms mode) {
    std::error_code error;
    std::filesystem::create_directories(destination.parent_path(), error);
    const std::filesystem::path temporary =
        destination.parent_path() /
        ("." + destination.filename().string() + ".new-" + std::to_string(::getpid()));
    std::filesystem::copy_file(source, temporary, std::filesystem::copy_options::overwrite_existing,
                               error);
    if (!error) {
        std::filesystem::permissions(temporary, mode, error);
    }
    if (!error) {
        std::filesystem::rename(temporary, destination, error);
    }
    if (error) {
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
        return "cannot install " + destination.string() + " from " + source.string() + ": " +
               error.message();
    }
    return std::nullopt;
}

} // namespace

std::vector<std::string> prepareSimulatedRoot(const SimServeOptions& options,
                                              const std::filesystem::path& programFolder) {
    using std::filesystem::perms;
    std::vector<std::string> notes;
    if (options.trustAnchor) {
        std::error_code error;
        if (options.trustAnchorIsDefault &&
            !std::filesystem::is_regular_file(*options.trustAnchor, error)) {
            notes.push_back("the build's development trust anchor " +
                            options.trustAnchor->string() +
                            " does not exist yet; the root trusts no signer");
        } else {
            const auto destination = options.root / "Library" / "Aerivo" / "TrustAnchors" /
                                     options.trustAnchor->filename();
            if (auto failure = installCopy(*options.trustAnchor, destination,
                                           perms::owner_read | perms::owner_write |
                                               perms::group_read | perms::others_read)) {
                notes.push_back(*failure);
            }
        }
    }
    const auto standIn = programFolder / simOsascriptProgramName;
    std::error_code error;
    if (!std::filesystem::is_regular_file(standIn, error)) {
        notes.push_back("no " + standIn.string() + ": " +
                        (options.root / "usr" / "bin" / "osascript").string() +
                        " is not installed");
    } else if (auto failure = installCopy(standIn, options.root / "usr" / "bin" / "osascript",
                                          perms::owner_all | perms::group_read | perms::group_exec |
                                              perms::others_read | perms::others_exec)) {
        notes.push_back(*failure);
    }
    return notes;
}

} // namespace aerivo
