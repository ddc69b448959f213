#include "platform/desktop/SystemFileOperations.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace aerivo {

namespace {

[[noreturn]] void throwPairError(const char* verb, const std::filesystem::path& from,
                                 const std::filesystem::path& to, const std::string& reason) {
    throw FileOperationError(std::string("Could not ") + verb + " \"" + from.string() + "\" to \"" +
                             to.string() + "\": " + reason);
}

std::string errnoText(int error) {
    return std::strerror(error);
}

// rename(2) that never replaces what is at `to`; 0 or an errno value.
int renameWithoutReplacing(const std::filesystem::path& from, const std::filesystem::path& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return errno;
    }
    // A file system without the no-replace flag: check, then rename.
    std::error_code ignored;
    if (std::filesystem::exists(std::filesystem::symlink_status(to, ignored))) {
        return EEXIST;
    }
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

void copyTree(const std::filesystem::path& from, const std::filesystem::path& to,
              std::error_code& error) {
    std::filesystem::copy(from, to,
                          std::filesystem::copy_options::recursive |
                              std::filesystem::copy_options::copy_symlinks,
                          error);
}

} // namespace

SystemFileOperations::SystemFileOperations(std::filesystem::path temporaryDirectory,
                                           FreedesktopTrash trash)
    : temporaryDirectory_(std::move(temporaryDirectory)), trash_(std::move(trash)) {}

SystemFileOperations SystemFileOperations::standard() {
    std::error_code error;
    std::filesystem::path temporary = std::filesystem::temp_directory_path(error);
    if (error) {
        temporary = "/tmp";
    }
    return SystemFileOperations(temporary,
                                FreedesktopTrash::forEnvironment(currentProcessEnvironment()));
}

bool SystemFileOperations::itemExists(const std::filesystem::path& item) const {
    std::error_code error;
    return std::filesystem::exists(std::filesystem::symlink_status(item, error));
}

std::filesystem::path SystemFileOperations::resolvedPath(const std::filesystem::path& item) const {
    std::error_code error;
    std::filesystem::path resolved = std::filesystem::weakly_canonical(item, error);
    return error ? item.lexically_normal() : resolved;
}

std::optional<bool>
SystemFileOperations::isOnReadOnlyVolume(const std::filesystem::path& item) const {
    struct statvfs volume {};
    if (::statvfs(item.c_str(), &volume) != 0) {
        return std::nullopt;
    }
    return (volume.f_flag & ST_RDONLY) != 0;
}

void SystemFileOperations::copyItem(const std::filesystem::path& from,
                                    const std::filesystem::path& to) {
    if (itemExists(to)) {
        throwPairError("copy", from, to, errnoText(EEXIST));
    }
    std::error_code error;
    copyTree(from, to, error);
    if (error) {
        // No half copy stays behind to be taken for a whole one.
        std::error_code ignored;
        std::filesystem::remove_all(to, ignored);
        throwPairError("copy", from, to, error.message());
    }
}

void SystemFileOperations::moveItem(const std::filesystem::path& from,
                                    const std::filesystem::path& to) {
    const int renamed = renameWithoutReplacing(from, to);
    if (renamed == 0) {
        return;
    }
    if (renamed != EXDEV) {
        throwPairError("move", from, to, errnoText(renamed));
    }
    // Across file systems: copy beside the destination, rename into place, then remove the
    // original, so the destination only ever holds a complete item.
    std::string scratch = (to.parent_path() / ("." + to.filename().string() + ".XXXXXX")).string();
    if (::mkdtemp(scratch.data()) == nullptr) {
        throwPairError("move", from, to, errnoText(errno));
    }
    const std::filesystem::path copy = std::filesystem::path(scratch) / to.filename();
    std::error_code error;
    copyTree(from, copy, error);
    int placed = error ? 0 : renameWithoutReplacing(copy, to);
    std::error_code ignored;
    std::filesystem::remove_all(scratch, ignored);
    if (error) {
        throwPairError("move", from, to, error.message());
    }
    if (placed != 0) {
        throwPairError("move", from, to, errnoText(placed));
    }
    // The move is done once the destination holds the item; a leftover original only costs space.
    std::filesystem::remove_all(from, ignored);
}

void SystemFileOperations::trashItem(const std::filesystem::path& item) {
    trash_.trash(item);
}

void SystemFileOperations::removeItem(const std::filesystem::path& item) {
    std::error_code error;
    std::filesystem::remove_all(item, error);
    if (error) {
        throw FileOperationError("Could not remove \"" + item.string() + "\": " + error.message());
    }
}

void SystemFileOperations::createFolder(const std::filesystem::path& folder) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) {
        throw FileOperationError("Could not create \"" + folder.string() +
                                 "\": " + error.message());
    }
}

} // namespace aerivo
