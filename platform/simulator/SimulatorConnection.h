#pragma once

#include "shared/SimulatorWire.h"

#include <asio.hpp>

#include <filesystem>
#include <memory>
#include <mutex>
#include <vector>

namespace aerivo {

// The one persistent connection of this process to the simulated Mac's device socket, shared
// by every simulator backend (IOKit, HID) of the process. Requests are answered in order; calls
// from several threads are serialised. A broken connection is dropped and made again by the
// next call; handles the simulator gave out on the old one are no longer valid.
class SimulatorConnection {
public:
    explicit SimulatorConnection(std::filesystem::path socketPath);
    SimulatorConnection(const SimulatorConnection&) = delete;
    SimulatorConnection& operator=(const SimulatorConnection&) = delete;
    ~SimulatorConnection();

    // AERIVO_SYSTEM_ROOT, else "/".
    static std::filesystem::path defaultSystemRoot();
    // The process-wide connection to the simulator under that system root.
    static std::shared_ptr<SimulatorConnection> forRoot(const std::filesystem::path& systemRoot);

    const std::filesystem::path& socketPath() const { return socketPath_; }

    // One request: `build(writer)` writes the payload, `parse(reader)` reads the reply payload.
    // False when the simulator cannot be reached or its answer does not decode exactly.
    template <typename Build, typename Parse>
    bool exchange(SimulatorOp op, Build&& build, Parse&& parse) {
        std::lock_guard lock(mutex_);
        request_.clear();
        SimulatorWireWriter writer(request_);
        writer.begin(op);
        build(writer);
        if (!writer.finish() || !roundTrip(op)) {
            return false;
        }
        SimulatorWireReader reader(reply_);
        parse(reader);
        if (!reader.finished()) {
            drop();
            return false;
        }
        return true;
    }

private:
    bool connect();
    bool roundTrip(SimulatorOp op);
    void drop();

    std::filesystem::path socketPath_;
    std::mutex mutex_;
    asio::io_context io_;
    asio::local::stream_protocol::socket socket_;
    std::vector<std::uint8_t> request_;
    std::vector<std::uint8_t> reply_;
};

} // namespace aerivo
