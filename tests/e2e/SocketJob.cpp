#include "tests/e2e/SocketJob.h"

#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <regex>

namespace aerivo::testing {

std::filesystem::path SocketJob::program() {
    return AERIVO_E2E_SOCKET_JOB_PATH;
}

nlohmann::json SocketJob::definition(const std::string& label, const std::filesystem::path& program,
                                     const std::optional<std::string>& tag) {
    nlohmann::json definition = {{"Label", label},
                                 {"Program", program.string()},
                                 {"MachServices", {{label, true}}},
                                 {"AssociatedBundleIdentifiers", {"com.aerivo.mac"}}};
    if (tag) {
        definition["ProgramArguments"] = {program.string(), *tag};
    }
    return definition;
}

void SocketJob::writeDefinition(const std::filesystem::path& root,
                                const nlohmann::json& definition) {
    const auto folder = root / "Library" / "LaunchDaemons";
    std::filesystem::create_directories(folder);
    const std::string name = definition["Label"].get<std::string>() + ".plist";
    // Written aside and renamed into place, as the installer does, so the service manager never
    // reads half a file.
    std::ofstream(folder / ("." + name)) << definition.dump();
    std::filesystem::rename(folder / ("." + name), folder / name);
}

std::optional<std::string> SocketJob::ask(const std::filesystem::path& socket,
                                          const std::string& line) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string path = socket.string();
    if (path.size() >= sizeof address.sun_path) {
        return std::nullopt;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return std::nullopt;
    }
    const timeval limit{10, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    const std::string request = line + "\n";
    std::string reply;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
        ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) ==
            static_cast<ssize_t>(request.size())) {
        char c = 0;
        while (::read(fd, &c, 1) == 1 && c != '\n') {
            reply += c;
        }
        if (c != '\n') {
            reply.clear();
        }
    }
    ::close(fd);
    if (reply.empty()) {
        return std::nullopt;
    }
    return reply;
}

std::optional<SocketJob::Hello> SocketJob::hello(const std::filesystem::path& socket) {
    const auto reply = ask(socket, "hello");
    std::smatch match;
    static const std::regex form("pid=([0-9]+) tag=(\\S+) root=(.*)");
    if (!reply || !std::regex_match(*reply, match, form)) {
        return std::nullopt;
    }
    return Hello{static_cast<pid_t>(std::stoi(match[1])), match[2], match[3]};
}

} // namespace aerivo::testing
