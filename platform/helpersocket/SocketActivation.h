#pragma once

#include <optional>

namespace aerivo {

// The listening socket a service manager handed to this process: LISTEN_PID names this process
// and LISTEN_FDS is at least 1, so descriptor 3 is the socket. The variables are removed either
// way once they name this process, so a child started later never takes the socket for its own.
// Nothing when the variables are absent or name another process, or when descriptor 3 is not a
// listening socket.
std::optional<int> takeActivatedListeningSocket();

} // namespace aerivo
