#pragma once

#include "sim/daemon/SimDaemonServer.h"

#include "shared/SimulatorWire.h"

#include <asio.hpp>

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace aerivo {

// One client connection: reads a frame, answers it, reads the next. Any malformed frame ends
// this connection and its session, nothing else.
class SimDaemonServer::Connection : public std::enable_shared_from_this<Connection> {
public:
    using stream = asio::local::stream_protocol;

    Connection(SimDaemonServer& server, stream::socket socket);
    ~Connection();
    void start();

private:
    void readHeader();
    void readPayload();
    void answer();
    void write();
    // A presence byte, then the value when there is one.
    static void optionalReply(SimulatorWireWriter& writer, const std::optional<std::string>& text);
    static void optionalReply(SimulatorWireWriter& writer, const std::optional<double>& value);
    static void okReply(SimulatorWireWriter& writer, bool ok, std::string_view message);
    void replyToApproval(SimulatorApprovalAnswer answer);
    // Decodes one request and writes its reply payload; false for a payload that does not
    // decode exactly, which closes the connection.
    bool handle(SimulatorWireWriter& writer, std::chrono::microseconds& delay);

    SimDaemonServer& server_;
    std::shared_ptr<bool> alive_;
    stream::socket socket_;
    asio::steady_timer delay_;
    SimSessionId session_ = 0;
    bool opened_ = false;
    bool quitAfterReply_ = false;
    bool deferred_ = false;
    std::string peerName_;
    std::array<std::uint8_t, simulatorFrameHeaderSize> header_{};
    SimulatorOp op_ = SimulatorOp::ctlStatus;
    std::vector<std::uint8_t> payload_;
    std::vector<std::uint8_t> reply_;
};

} // namespace aerivo
