#include "platform/simulator/SimulatorConnection.h"

#include <cstdlib>
#include <map>

namespace aerivo {

SimulatorConnection::SimulatorConnection(std::filesystem::path socketPath)
    : socketPath_(std::move(socketPath)), socket_(io_) {}

SimulatorConnection::~SimulatorConnection() {
    drop();
}

std::filesystem::path SimulatorConnection::defaultSystemRoot() {
    const char* root = std::getenv("AERIVO_SYSTEM_ROOT");
    return root != nullptr && *root != '\0' ? std::filesystem::path(root)
                                            : std::filesystem::path("/");
}

std::shared_ptr<SimulatorConnection>
SimulatorConnection::forRoot(const std::filesystem::path& systemRoot) {
    static std::mutex registryMutex;
    static std::map<std::filesystem::path, std::weak_ptr<SimulatorConnection>> connections;
    std::lock_guard lock(registryMutex);
    const std::filesystem::path socket = simulatorSocketPath(systemRoot);
    if (auto existing = connections[socket].lock()) {
        return existing;
    }
    auto connection = std::make_shared<SimulatorConnection>(socket);
    connections[socket] = connection;
    return connection;
}

bool SimulatorConnection::connect() {
    if (socket_.is_open()) {
        return true;
    }
    std::error_code error;
    socket_.connect(asio::local::stream_protocol::endpoint(socketPath_.string()), error);
    if (error) {
        drop();
        return false;
    }
    return true;
}

void SimulatorConnection::drop() {
    std::error_code error;
    socket_.close(error);
}

bool SimulatorConnection::roundTrip(SimulatorOp op) {
    std::error_code error;
    // A connection the simulator closed since the last call shows up on the write: make it
    // again once. Nothing was delivered, so nothing runs twice.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!connect()) {
            return false;
        }
        asio::write(socket_, asio::buffer(request_), error);
        if (!error) {
            break;
        }
        drop();
        if (attempt == 1) {
            return false;
        }
    }
    std::array<std::uint8_t, simulatorFrameHeaderSize> header{};
    asio::read(socket_, asio::buffer(header), error);
    const auto decoded = error ? std::nullopt : decodeSimulatorHeader(header);
    if (!decoded || decoded->op != op) {
        drop();
        return false;
    }
    reply_.resize(decoded->payloadSize);
    asio::read(socket_, asio::buffer(reply_), error);
    if (error) {
        drop();
        return false;
    }
    return true;
}

} // namespace aerivo
