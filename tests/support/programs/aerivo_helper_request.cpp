// A stand-in for the app's side of the helper socket in end-to-end tests: sends one request and
// prints the reply. The tests sign a copy of it as the app, so the helper admits it.
//
//   aerivo_helper_request SOCKET METHOD [ARGUMENT-JSON]
//   aerivo_helper_request SOCKET --silent COUNT
//
// Prints the reply dictionary as one line of JSON and exits 0, or prints "outcome=<how it
// ended> detail=<text>" and exits 1. Bad arguments exit 2.
//
// With --silent it opens COUNT connections at once and sends nothing on any of them (the
// admitted client that holds a connection thread each), waits until the helper has closed every
// one (a minute at most), prints "connected=<opened> closedByHelper=<closed>" and exits 0.

#include "platform/HelperTransport.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

int holdSilentConnections(const std::string& path, int count) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (count <= 0 || path.size() >= sizeof address.sun_path) {
        return 2;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    std::vector<pollfd> open;
    for (int i = 0; i < count; ++i) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd >= 0 &&
            ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
            open.push_back({fd, POLLIN, 0});
        } else if (fd >= 0) {
            ::close(fd);
        }
    }
    const std::size_t connected = open.size();
    std::size_t closed = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (closed < connected && std::chrono::steady_clock::now() < deadline) {
        if (::poll(open.data(), open.size(), 100) <= 0) {
            continue;
        }
        for (pollfd& entry : open) {
            char byte = 0;
            if (entry.fd >= 0 && entry.revents != 0 && ::recv(entry.fd, &byte, 1, 0) <= 0) {
                ::close(entry.fd);
                entry.fd = -1; // poll skips it from now on
                ++closed;
            }
        }
    }
    std::printf("connected=%zu closedByHelper=%zu\n", connected, closed);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    using namespace aerivo;
    if (argc == 4 && std::string(argv[2]) == "--silent") {
        return holdSilentConnections(argv[1], std::atoi(argv[3]));
    }
    if (argc < 3 || argc > 4) {
        std::fprintf(stderr, "usage: aerivo_helper_request SOCKET METHOD [ARGUMENT-JSON]\n");
        return 2;
    }
    nlohmann::json request = {{"method", argv[2]}};
    if (argc == 4) {
        request["argument"] = nlohmann::json::parse(argv[3], nullptr, false);
    }
    const std::optional<HelperRequest> parsed = HelperRequest::fromDictionary(request);
    if (!parsed) {
        std::fprintf(stderr, "not a helper request: %s\n", request.dump().c_str());
        return 2;
    }
    UnixSocketHelperTransport transport(argv[1]);
    const HelperRequestResult result = transport.send(*parsed, std::chrono::seconds(30));
    if (result.isReplied() && result.reply) {
        std::printf("%s\n", result.reply->dump().c_str());
        return 0;
    }
    std::printf("outcome=%s detail=%s\n", std::string(rawValue(result.outcome)).c_str(),
                result.detail.c_str());
    return 1;
}
