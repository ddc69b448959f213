#pragma once

#include "platform/posix/ProcessEnvironment.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>

namespace aerivo {

// The user's Trash as desktops on Linux share it (the freedesktop.org Trash layout): a trashed
// item moves to "<trash>/files/<name>" beside "<trash>/info/<name>.trashinfo", which records the
// original path and the deletion time so a file manager can put it back.
//
// The home trash is "$XDG_DATA_HOME/Trash" (default ~/.local/share/Trash). An item on another
// file system goes to that file system's own trash, "<top folder>/.Trash-<uid>", because moving
// it home would mean copying it.
class FreedesktopTrash {
public:
    using Clock = std::function<std::chrono::system_clock::time_point()>;

    // `homeTrash`: none when the user has no home, which leaves only the per-volume trashes.
    explicit FreedesktopTrash(std::optional<std::filesystem::path> homeTrash,
                              Clock clock = std::chrono::system_clock::now);
    static FreedesktopTrash forEnvironment(const EnvironmentLookup& environment);

    // Moves `item` to the trash and returns where it went. Throws FileOperationError; on failure
    // the item stays where it was and no info file is left behind.
    std::filesystem::path trash(const std::filesystem::path& item) const;

    // "/a b/ü" gives "/a%20b/%C3%BC": the Path value of an info file.
    static std::string escapedPath(const std::string& path);

private:
    std::filesystem::path trashInto(const std::filesystem::path& trashFolder,
                                    const std::filesystem::path& item,
                                    const std::string& recordedPath) const;

    std::optional<std::filesystem::path> homeTrash_;
    Clock clock_;
};

} // namespace aerivo
