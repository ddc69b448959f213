// aerivo-e2e-socket-job: a small socket-activated daemon for the service manager's tests. It
// takes its listening socket from LISTEN_FDS=1 / LISTEN_PID=<its pid> on descriptor 3, accepts
// connections itself and answers one line per connection:
//   "hello"  -> "pid=<pid> tag=<first argument or none> root=<AERIVO_SYSTEM_ROOT>"
//   "exit N" -> "bye", then the process exits with status N
// Anything else is answered "unknown". Without a valid activation it exits 2 at once.

#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace {

std::string readLine(int fd) {
    std::string line;
    char c = 0;
    while (line.size() < 256 && ::read(fd, &c, 1) == 1 && c != '\n') {
        line += c;
    }
    return line;
}

void reply(int fd, const std::string& text) {
    const std::string line = text + "\n";
    (void)::send(fd, line.data(), line.size(), MSG_NOSIGNAL);
}

} // namespace

int main(int argc, char** argv) {
    const char* fds = std::getenv("LISTEN_FDS");
    const char* pid = std::getenv("LISTEN_PID");
    int listening = 0;
    socklen_t size = sizeof listening;
    if (fds == nullptr || std::string(fds) != "1" || pid == nullptr ||
        std::string(pid) != std::to_string(::getpid()) ||
        ::getsockopt(3, SOL_SOCKET, SO_ACCEPTCONN, &listening, &size) != 0 || listening == 0) {
        return 2;
    }
    const char* root = std::getenv("AERIVO_SYSTEM_ROOT");
    const std::string tag = argc > 1 ? argv[1] : "none";
    for (;;) {
        const int connection = ::accept(3, nullptr, nullptr);
        if (connection < 0) {
            return 3;
        }
        const std::string line = readLine(connection);
        if (line == "hello") {
            reply(connection, "pid=" + std::to_string(::getpid()) + " tag=" + tag +
                                  " root=" + (root != nullptr ? root : "none"));
        } else if (line.starts_with("exit ")) {
            reply(connection, "bye");
            ::close(connection);
            return std::atoi(line.c_str() + 5);
        } else {
            reply(connection, "unknown");
        }
        ::close(connection);
    }
}
