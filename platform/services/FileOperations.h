#pragma once

#include <filesystem>
#include <optional>
#include <stdexcept>

namespace aerivo {

// A file operation failed. what() names the item(s) and the system's reason; it is shown to the
// user as it is.
class FileOperationError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The file manager of the install-location guard: every change it makes on disk goes through here,
// so its order of operations can be watched and any step made to fail in tests.
class FileOperations {
public:
    virtual ~FileOperations() = default;

    // Where staging copies go.
    virtual std::filesystem::path temporaryDirectory() const = 0;
    // True when anything is at the path: a file, a folder or a link (even a dangling one).
    virtual bool itemExists(const std::filesystem::path& item) const = 0;
    // The path with every link resolved as far as it exists ("." and ".." too).
    virtual std::filesystem::path resolvedPath(const std::filesystem::path& item) const = 0;
    // Whether the file system holding `item` is mounted read-only; none when it cannot be asked.
    virtual std::optional<bool> isOnReadOnlyVolume(const std::filesystem::path& item) const = 0;

    // Each throws FileOperationError and refuses to replace anything already at `to`.
    // Copies a file or a whole folder, links as links and permissions kept.
    virtual void copyItem(const std::filesystem::path& from, const std::filesystem::path& to) = 0;
    // Moves within or across file systems.
    virtual void moveItem(const std::filesystem::path& from, const std::filesystem::path& to) = 0;
    // Moves the item to the user's Trash, whence it can be restored.
    virtual void trashItem(const std::filesystem::path& item) = 0;
    // Deletes the item and everything in it; a missing item is no error.
    virtual void removeItem(const std::filesystem::path& item) = 0;
    // Creates the folder and any missing folders above it; an existing folder is no error.
    virtual void createFolder(const std::filesystem::path& folder) = 0;
};

} // namespace aerivo
