#include "platform/FileContents.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace aerivo {

namespace {

[[noreturn]] void throwWriteError(const std::filesystem::path& file, int error) {
    throw FileWriteError("Could not write \"" + file.string() + "\": " + std::strerror(error));
}

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() { reset(); }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return fd_; }
    // Closes now and reports close's own error (a delayed write error shows up here).
    int close() {
        const int result = ::close(fd_);
        fd_ = -1;
        return result;
    }
    void reset() {
        if (fd_ >= 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }

private:
    int fd_;
};

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

std::optional<std::string> readFileContents(const std::filesystem::path& file,
                                            std::size_t maximumBytes) {
    FileDescriptor fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat status {};
    if (fd.get() < 0 || ::fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode)) {
        return std::nullopt;
    }
    std::string contents;
    char buffer[65536];
    while (true) {
        const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return std::nullopt;
        }
        if (got == 0) {
            return contents;
        }
        if (contents.size() + static_cast<std::size_t>(got) > maximumBytes) {
            return std::nullopt;
        }
        contents.append(buffer, static_cast<std::size_t>(got));
    }
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
