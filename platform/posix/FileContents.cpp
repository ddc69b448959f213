#include "platform/posix/FileContents.h"
#include "platform/posix/FileDescriptor.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace aerivo {

namespace {

void report(std::string* error, std::string text) {
    if (error != nullptr) {
        *error = std::move(text);
    }
}

[[noreturn]] void throwWriteError(const std::filesystem::path& file, int error) {
    throw FileWriteError("Could not write \"" + file.string() + "\": " + std::strerror(error));
}

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

void syncFolder(const std::filesystem::path& folder) {
    // Makes the rename itself durable. Some file systems cannot sync a folder; the file's own
    // contents are already on disk then, so this stays best effort.
    FileDescriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() >= 0) {
        ::fsync(fd.get());
    }
}

} // namespace

std::optional<std::string> readBoundedFile(const std::filesystem::path& path,
                                           std::size_t maximumBytes, std::string* error) {
    // O_NONBLOCK: opening a FIFO for reading must not wait for a writer.
    const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (file.get() < 0) {
        report(error, std::strerror(errno));
        return std::nullopt;
    }
    struct stat status {};
    if (::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode)) {
        report(error, "not a regular file");
        return std::nullopt;
    }
    if (static_cast<std::uintmax_t>(status.st_size) > maximumBytes) {
        report(error, "larger than " + std::to_string(maximumBytes) + " bytes");
        return std::nullopt;
    }
    // Read to the end rather than trusting fstat's size, so a file that grew since is still
    // held to the bound.
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(status.st_size));
    char chunk[64 * 1024];
    for (;;) {
        const ssize_t count = ::read(file.get(), chunk, sizeof chunk);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            report(error, std::strerror(errno));
            return std::nullopt;
        }
        if (count == 0) {
            break;
        }
        if (bytes.size() + static_cast<std::size_t>(count) > maximumBytes) {
            report(error, "larger than " + std::to_string(maximumBytes) + " bytes");
            return std::nullopt;
        }
        bytes.append(chunk, static_cast<std::size_t>(count));
    }
    return bytes;
}

void writeFileAtomically(const std::filesystem::path& file, std::string_view contents,
                         std::filesystem::perms permissions) {
    const std::filesystem::path folder = file.parent_path();
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) {
        throwWriteError(file, error.value());
    }
    std::string temporary = (folder / ("." + file.filename().string() + ".XXXXXX")).string();
    FileDescriptor fd(::mkostemp(temporary.data(), O_CLOEXEC));
    if (fd.get() < 0) {
        throwWriteError(file, errno);
    }
    const auto fail = [&](int reason) {
        fd.reset();
        ::unlink(temporary.c_str());
        throwWriteError(file, reason);
    };
    if (::fchmod(fd.get(), static_cast<mode_t>(permissions)) != 0 ||
        !writeAll(fd.get(), contents) || ::fsync(fd.get()) != 0) {
        fail(errno);
    }
    if (fd.close() != 0) {
        const int reason = errno;
        ::unlink(temporary.c_str());
        throwWriteError(file, reason);
    }
    if (::rename(temporary.c_str(), file.c_str()) != 0) {
        const int reason = errno;
        ::unlink(temporary.c_str());
        throwWriteError(file, reason);
    }
    syncFolder(folder);
}

void removeFile(const std::filesystem::path& file) {
    if (::unlink(file.c_str()) != 0 && errno != ENOENT) {
        throw FileWriteError("Could not remove \"" + file.string() + "\": " + std::strerror(errno));
    }
}

} // namespace aerivo
