#include "platform/desktop/FreedesktopTrash.h"

#include "platform/desktop/UserDirectories.h"
#include "platform/services/FileOperations.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace aerivo {

namespace {

// Gives up on names after this many taken ones; a trash holding a thousand items of the same
// name is not one to add to.
constexpr int maximumNameAttempts = 1000;

[[noreturn]] void throwTrashError(const std::filesystem::path& item, const std::string& reason) {
    throw FileOperationError("Could not move \"" + item.string() + "\" to the Trash: " + reason);
}

std::string errnoText(int error) {
    return std::strerror(error);
}

// The device of `path`, or of the nearest folder above it that exists.
std::optional<dev_t> deviceOfNearestExisting(std::filesystem::path path) {
    while (true) {
        struct stat status {};
        if (::lstat(path.c_str(), &status) == 0) {
            return status.st_dev;
        }
        if (!path.has_relative_path()) {
            return std::nullopt;
        }
        path = path.parent_path();
    }
}

// The mount point holding `item`: the highest folder above it on the same device.
std::filesystem::path topFolder(const std::filesystem::path& item, dev_t device) {
    std::filesystem::path top = item.parent_path();
    while (top.has_relative_path()) {
        struct stat status {};
        if (::stat(top.parent_path().c_str(), &status) != 0 || status.st_dev != device) {
            break;
        }
        top = top.parent_path();
    }
    return top;
}

// A trash folder of ours: created owner-only when missing, and never a link someone else planted.
void makePrivateFolder(const std::filesystem::path& folder) {
    std::error_code error;
    std::filesystem::create_directories(folder.parent_path(), error);
    if (error) {
        throw std::system_error(error);
    }
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        throw std::system_error(errno, std::generic_category());
    }
    struct stat status {};
    if (::lstat(folder.c_str(), &status) != 0) {
        throw std::system_error(errno, std::generic_category());
    }
    if (!S_ISDIR(status.st_mode)) {
        throw std::system_error(ENOTDIR, std::generic_category());
    }
}

std::string candidateName(const std::filesystem::path& original, int attempt) {
    if (attempt == 1) {
        return original.filename().string();
    }
    return original.stem().string() + " " + std::to_string(attempt) + original.extension().string();
}

std::string deletionDate(std::chrono::system_clock::time_point when) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
    std::tm local{};
    ::localtime_r(&seconds, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    return text;
}

bool writeAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        done += static_cast<std::size_t>(written);
    }
    return true;
}

} // namespace

FreedesktopTrash::FreedesktopTrash(std::optional<std::filesystem::path> homeTrash, Clock clock)
    : homeTrash_(std::move(homeTrash)), clock_(std::move(clock)) {}

FreedesktopTrash FreedesktopTrash::forEnvironment(const EnvironmentLookup& environment) {
    const auto dataHome = UserDirectories(environment).dataHome();
    return FreedesktopTrash(dataHome ? std::optional(*dataHome / "Trash") : std::nullopt);
}

std::string FreedesktopTrash::escapedPath(const std::string& path) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string escaped;
    for (const char character : path) {
        const auto byte = static_cast<unsigned char>(character);
        const bool plain = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
                           (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' ||
                           byte == '_' || byte == '~' || byte == '/';
        if (plain) {
            escaped.push_back(character);
        } else {
            escaped.push_back('%');
            escaped.push_back(digits[byte >> 4]);
            escaped.push_back(digits[byte & 0x0F]);
        }
    }
    return escaped;
}

std::filesystem::path FreedesktopTrash::trash(const std::filesystem::path& itemPath) const {
    const std::filesystem::path item = std::filesystem::absolute(itemPath).lexically_normal();
    struct stat status {};
    if (::lstat(item.c_str(), &status) != 0) {
        throwTrashError(item, errnoText(errno));
    }
    if (homeTrash_ && deviceOfNearestExisting(*homeTrash_) == status.st_dev) {
        return trashInto(*homeTrash_, item, item.string());
    }
    // Another file system: its own trash at its top folder, with the path recorded relative to
    // that folder as the layout asks.
    const std::filesystem::path top = topFolder(item, status.st_dev);
    const std::filesystem::path trashFolder = top / (".Trash-" + std::to_string(::getuid()));
    return trashInto(trashFolder, item, item.lexically_relative(top).string());
}

std::filesystem::path FreedesktopTrash::trashInto(const std::filesystem::path& trashFolder,
                                                  const std::filesystem::path& item,
                                                  const std::string& recordedPath) const {
    const std::filesystem::path files = trashFolder / "files";
    const std::filesystem::path info = trashFolder / "info";
    try {
        makePrivateFolder(trashFolder);
        makePrivateFolder(files);
        makePrivateFolder(info);
    } catch (const std::system_error& error) {
        throwTrashError(item, errnoText(error.code().value()));
    }

    const std::string record = "[Trash Info]\nPath=" + escapedPath(recordedPath) +
                               "\nDeletionDate=" + deletionDate(clock_()) + "\n";
    for (int attempt = 1; attempt <= maximumNameAttempts; ++attempt) {
        const std::string name = candidateName(item, attempt);
        const std::filesystem::path infoFile = info / (name + ".trashinfo");
        // Creating the info file exclusively reserves the name against other programs trashing
        // at the same moment.
        const int fd = ::open(infoFile.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST) {
                continue;
            }
            throwTrashError(item, errnoText(errno));
        }
        const std::filesystem::path destination = files / name;
        struct stat taken {};
        if (::lstat(destination.c_str(), &taken) == 0) {
            // An entry without its info file; leave it and take the next name.
            ::close(fd);
            ::unlink(infoFile.c_str());
            continue;
        }
        const bool recorded = writeAll(fd, record) && ::fsync(fd) == 0;
        const int writeError = errno;
        if (::close(fd) != 0 || !recorded) {
            ::unlink(infoFile.c_str());
            throwTrashError(item, errnoText(recorded ? errno : writeError));
        }
        if (::rename(item.c_str(), destination.c_str()) != 0) {
            const int reason = errno;
            ::unlink(infoFile.c_str());
            throwTrashError(item, errnoText(reason));
        }
        return destination;
    }
    throwTrashError(item, "every name for it is taken in the Trash");
}

} // namespace aerivo
