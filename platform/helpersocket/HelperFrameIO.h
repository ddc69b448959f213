#pragma once

#include "platform/helpersocket/HelperFrame.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <optional>
#include <string_view>

namespace aerivo {

// Blocking frame reads and writes on a stream socket descriptor, each bounded by a deadline
// (poll), shared by both ends of the helper socket.
struct HelperFrameIO {
    HelperFrameIO() = delete;

    using Deadline = std::chrono::steady_clock::time_point;

    struct ReadResult {
        enum class Status {
            frame,
            // The peer closed before sending a single byte.
            closed,
            timedOut,
            // The socket failed (reset, shut down by us).
            failed,
            // Bytes arrived that are not a frame, or the peer stopped inside one.
            malformed,
        };
        Status status = Status::failed;
        nlohmann::json object;
        std::optional<HelperFrame::Error> error;
        // The errno of a failed read (ECONNRESET: the peer closed with our bytes unread).
        int systemError = 0;
    };

    // One frame. An oversized length ends the read at the header: nothing past it is read.
    static ReadResult read(int descriptor, Deadline deadline);
    // All of `frame`, or false (peer gone, deadline passed). Never raises SIGPIPE.
    static bool write(int descriptor, std::string_view frame, Deadline deadline);
};

} // namespace aerivo
