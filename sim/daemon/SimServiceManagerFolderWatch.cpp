#include "sim/daemon/SimServiceManager.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <array>

namespace aerivo {

namespace {

constexpr std::chrono::milliseconds folderRetryInterval{250};

} // namespace

// The daemon folder is watched with inotify: any change to a definition rescans it at once.

void SimServiceManager::watchFolder() {
    std::error_code error;
    folderEvents_.close(error);
    const int fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd < 0) {
        scheduleFolderRetry();
        return;
    }
    const std::uint32_t events = IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE |
                                 IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
    if (::inotify_add_watch(fd, folder_.c_str(), events) < 0) {
        ::close(fd);
        scheduleFolderRetry();
        return;
    }
    folderEvents_.assign(fd);
    waitForFolderEvents();
}

void SimServiceManager::waitForFolderEvents() {
    folderEvents_.async_wait(asio::posix::stream_descriptor::wait_read, [this](std::error_code e) {
        if (e || stopped_) {
            return;
        }
        // Drain the queue; a lost watch (the folder was removed or moved) is set up again
        // once the folder exists.
        bool lost = false;
        alignas(inotify_event) std::array<char, 4096> buffer{};
        for (;;) {
            const ssize_t count =
                ::read(folderEvents_.native_handle(), buffer.data(), buffer.size());
            if (count <= 0) {
                break;
            }
            for (ssize_t offset = 0; offset < count;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer.data() + offset);
                lost = lost || (event->mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF)) != 0;
                offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
        rescan();
        if (lost) {
            std::error_code error;
            folderEvents_.close(error);
            scheduleFolderRetry();
            return;
        }
        waitForFolderEvents();
    });
}

void SimServiceManager::scheduleFolderRetry() {
    folderRetry_.expires_after(folderRetryInterval);
    folderRetry_.async_wait([this](std::error_code error) {
        if (error || stopped_) {
            return;
        }
        rescan();
        std::error_code exists;
        if (std::filesystem::is_directory(folder_, exists)) {
            watchFolder();
            rescan();
        } else {
            scheduleFolderRetry();
        }
    });
}

} // namespace aerivo
