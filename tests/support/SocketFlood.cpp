#include "tests/support/SocketFlood.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <vector>

namespace aerivo::testing {

SocketFloodResult floodSocket(const std::filesystem::path& path, int count,
                              const std::string& payload, std::chrono::milliseconds limit) {
    SocketFloodResult result;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string text = path.string();
    if (text.size() >= sizeof address.sun_path) {
        return result;
    }
    std::memcpy(address.sun_path, text.c_str(), text.size() + 1);
    std::vector<pollfd> open;
    for (int i = 0; i < count; ++i) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            break;
        }
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
            ::close(fd);
            continue;
        }
        if (!payload.empty()) {
            ::send(fd, payload.data(), payload.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        }
        open.push_back({fd, POLLIN, 0});
    }
    result.connected = static_cast<long>(open.size());
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (result.closedByPeer < result.connected && std::chrono::steady_clock::now() < deadline) {
        if (::poll(open.data(), open.size(), 100) <= 0) {
            continue;
        }
        for (pollfd& entry : open) {
            char byte = 0;
            if (entry.fd >= 0 && entry.revents != 0 && ::recv(entry.fd, &byte, 1, 0) <= 0) {
                ::close(entry.fd);
                entry.fd = -1; // poll skips it from now on
                ++result.closedByPeer;
            }
        }
    }
    for (const pollfd& entry : open) {
        if (entry.fd >= 0) {
            ::close(entry.fd);
        }
    }
    return result;
}

} // namespace aerivo::testing
