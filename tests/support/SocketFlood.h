#pragma once

#include <chrono>
#include <filesystem>
#include <string>

namespace aerivo::testing {

struct SocketFloodResult {
    long connected = 0;
    long closedByPeer = 0;
};

// `count` connections to the Unix socket at `path`, opened one after another and all kept open,
// each sending `payload` (nothing when empty); then waits until the peer has closed every one or
// `limit` has passed, and closes what is left. For clients that a server must refuse, or drop
// after its idle time.
SocketFloodResult floodSocket(const std::filesystem::path& path, int count,
                              const std::string& payload, std::chrono::milliseconds limit);

} // namespace aerivo::testing
