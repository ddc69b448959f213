#include "platform/helpersocket/HelperFrameIO.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <string>

namespace aerivo {

namespace {

using Clock = std::chrono::steady_clock;

enum class Wait { ready, timedOut, failed };

Wait waitFor(int descriptor, short events, HelperFrameIO::Deadline deadline) {
    for (;;) {
        const auto remaining =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (remaining.count() <= 0) {
            return Wait::timedOut;
        }
        pollfd entry{descriptor, events, 0};
        const int result =
            ::poll(&entry, 1, static_cast<int>(std::min<long long>(remaining.count() + 1, 60'000)));
        if (result > 0) {
            // Hang-up and errors are ready too: the next read or write reports them.
            return Wait::ready;
        }
        if (result < 0 && errno != EINTR) {
            return Wait::failed;
        }
    }
}

enum class Fill { done, closedEmpty, closedPartway, timedOut, failed };

// Reads exactly `size` bytes into `buffer`.
Fill fill(int descriptor, char* buffer, std::size_t size, HelperFrameIO::Deadline deadline,
          bool nothingReadYet) {
    std::size_t done = 0;
    while (done < size) {
        switch (waitFor(descriptor, POLLIN, deadline)) {
        case Wait::timedOut:
            return Fill::timedOut;
        case Wait::failed:
            return Fill::failed;
        case Wait::ready:
            break;
        }
        const ssize_t got = ::recv(descriptor, buffer + done, size - done, MSG_DONTWAIT);
        if (got > 0) {
            done += static_cast<std::size_t>(got);
        } else if (got == 0) {
            return nothingReadYet && done == 0 ? Fill::closedEmpty : Fill::closedPartway;
        } else if (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) {
            return Fill::failed;
        }
    }
    return Fill::done;
}

HelperFrameIO::ReadResult failure(Fill fill) {
    using Status = HelperFrameIO::ReadResult::Status;
    HelperFrameIO::ReadResult result;
    const int systemError = errno;
    switch (fill) {
    case Fill::closedEmpty:
        result.status = Status::closed;
        break;
    case Fill::closedPartway:
        result.status = Status::malformed;
        result.error = HelperFrame::Error::truncated;
        break;
    case Fill::timedOut:
        result.status = Status::timedOut;
        break;
    case Fill::failed:
    case Fill::done:
        result.status = Status::failed;
        result.systemError = systemError;
        break;
    }
    return result;
}

} // namespace

HelperFrameIO::ReadResult HelperFrameIO::read(int descriptor, Deadline deadline) {
    std::array<unsigned char, HelperFrame::headerSize> header{};
    if (const Fill got =
            fill(descriptor, reinterpret_cast<char*>(header.data()), header.size(), deadline, true);
        got != Fill::done) {
        return failure(got);
    }
    const auto length = HelperFrame::payloadLength(header);
    if (const auto* error = std::get_if<HelperFrame::Error>(&length)) {
        return {ReadResult::Status::malformed, {}, *error};
    }
    std::string payload(std::get<std::uint32_t>(length), '\0');
    if (const Fill got = fill(descriptor, payload.data(), payload.size(), deadline, false);
        got != Fill::done) {
        return failure(got);
    }
    auto decoded = HelperFrame::decodePayload(payload);
    if (const auto* error = std::get_if<HelperFrame::Error>(&decoded)) {
        return {ReadResult::Status::malformed, {}, *error};
    }
    return {ReadResult::Status::frame, std::move(std::get<nlohmann::json>(decoded)), std::nullopt};
}

bool HelperFrameIO::write(int descriptor, std::string_view frame, Deadline deadline) {
    std::size_t done = 0;
    while (done < frame.size()) {
        if (waitFor(descriptor, POLLOUT, deadline) != Wait::ready) {
            return false;
        }
        const ssize_t sent = ::send(descriptor, frame.data() + done, frame.size() - done,
                                    MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent > 0) {
            done += static_cast<std::size_t>(sent);
        } else if (sent < 0 && errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) {
            return false;
        }
    }
    return true;
}

} // namespace aerivo
