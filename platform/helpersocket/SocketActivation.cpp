#include "platform/helpersocket/SocketActivation.h"

#include <sys/socket.h>
#include <unistd.h>

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace aerivo {

namespace {

constexpr int firstActivatedDescriptor = 3;

std::optional<long> wholeNumber(const char* text) {
    if (text == nullptr) {
        return std::nullopt;
    }
    const std::string_view view(text);
    long value = 0;
    const auto [end, error] = std::from_chars(view.data(), view.data() + view.size(), value);
    if (error != std::errc() || end != view.data() + view.size()) {
        return std::nullopt;
    }
    return value;
}

} // namespace

std::optional<int> takeActivatedListeningSocket() {
    const std::optional<long> pid = wholeNumber(std::getenv("LISTEN_PID"));
    const std::optional<long> count = wholeNumber(std::getenv("LISTEN_FDS"));
    if (!pid || *pid != static_cast<long>(::getpid())) {
        return std::nullopt;
    }
    ::unsetenv("LISTEN_PID");
    ::unsetenv("LISTEN_FDS");
    ::unsetenv("LISTEN_FDNAMES");
    if (!count || *count < 1) {
        return std::nullopt;
    }
    int listening = 0;
    socklen_t length = sizeof listening;
    if (::getsockopt(firstActivatedDescriptor, SOL_SOCKET, SO_ACCEPTCONN, &listening, &length) !=
            0 ||
        listening == 0) {
        return std::nullopt;
    }
    return firstActivatedDescriptor;
}

} // namespace aerivo
