#include "platform/helpersocket/HelperFrameIO.h"
#include "platform/helpersocket/HelperTransport.h"
#include "platform/posix/FileDescriptor.h"

#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace aerivo {

namespace {

using Clock = std::chrono::steady_clock;

HelperRequestResult failed(HelperRequestOutcome outcome, std::string detail) {
    return {outcome, std::nullopt, std::move(detail)};
}

} // namespace

std::string_view rawValue(HelperRequestOutcome outcome) {
    switch (outcome) {
    case HelperRequestOutcome::replied:
        return "replied";
    case HelperRequestOutcome::connectionFailed:
        return "connectionFailed";
    case HelperRequestOutcome::refused:
        return "refused";
    case HelperRequestOutcome::closedBeforeReply:
        return "closedBeforeReply";
    case HelperRequestOutcome::timedOut:
        return "timedOut";
    case HelperRequestOutcome::malformedReply:
        return "malformedReply";
    case HelperRequestOutcome::requestNotSent:
        return "requestNotSent";
    }
    return "unknown";
}

UnixSocketHelperTransport::UnixSocketHelperTransport(std::string socketPath)
    : socketPath_(std::move(socketPath)) {}

HelperRequestResult UnixSocketHelperTransport::send(const HelperRequest& request,
                                                    std::chrono::milliseconds deadline) {
    const Clock::time_point end = Clock::now() + deadline;
    const std::optional<std::string> frame = HelperFrame::encode(request.dictionary());
    if (!frame) {
        return failed(HelperRequestOutcome::requestNotSent,
                      "the request does not fit in one frame");
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socketPath_.size() >= sizeof address.sun_path) {
        return failed(HelperRequestOutcome::connectionFailed,
                      "socket path is too long: " + socketPath_);
    }
    std::memcpy(address.sun_path, socketPath_.c_str(), socketPath_.size() + 1);

    FileDescriptor socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (socket.get() < 0) {
        return failed(HelperRequestOutcome::connectionFailed, std::strerror(errno));
    }
    // A busy helper's full backlog makes connect wait; the send time-out bounds that wait by the
    // request's own deadline.
    const auto remaining = std::max<long long>(
        std::chrono::duration_cast<std::chrono::microseconds>(end - Clock::now()).count(), 1);
    timeval limit{static_cast<time_t>(remaining / 1'000'000),
                  static_cast<suseconds_t>(remaining % 1'000'000)};
    ::setsockopt(socket.get(), SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    if (::connect(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        if (errno == EAGAIN || errno == EINPROGRESS) {
            return failed(HelperRequestOutcome::timedOut,
                          "the helper did not accept the connection in time");
        }
        return failed(HelperRequestOutcome::connectionFailed,
                      "cannot connect to " + socketPath_ + ": " + std::strerror(errno));
    }
    if (!HelperFrameIO::write(socket.get(), *frame, end)) {
        // A peer that closes at once refused us; otherwise the deadline passed mid-write.
        return failed(Clock::now() >= end ? HelperRequestOutcome::timedOut
                                          : HelperRequestOutcome::refused,
                      "the request could not be sent");
    }
    HelperFrameIO::ReadResult read = HelperFrameIO::read(socket.get(), end);
    using Status = HelperFrameIO::ReadResult::Status;
    switch (read.status) {
    case Status::frame:
        return {HelperRequestOutcome::replied, std::move(read.object), {}};
    case Status::failed:
        // Closing a Unix stream socket with received bytes unread resets it: the peer never
        // read our request.
        if (read.systemError == ECONNRESET) {
            return failed(HelperRequestOutcome::refused,
                          "the helper closed the connection without reading the request");
        }
        return failed(HelperRequestOutcome::closedBeforeReply,
                      "the helper closed the connection without a reply");
    case Status::closed:
        return failed(HelperRequestOutcome::closedBeforeReply,
                      "the helper closed the connection without a reply");
    case Status::timedOut:
        return failed(HelperRequestOutcome::timedOut, "no reply before the deadline");
    case Status::malformed:
        return failed(HelperRequestOutcome::malformedReply,
                      std::string(HelperFrame::errorText(
                          read.error.value_or(HelperFrame::Error::malformedJSON))));
    }
    return failed(HelperRequestOutcome::malformedReply, "unknown read result");
}

} // namespace aerivo
