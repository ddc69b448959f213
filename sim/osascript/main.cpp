// aerivo-sim-osascript: the simulated Mac's /usr/bin/osascript. It runs exactly one form,
//
//   osascript -e 'do shell script "<command>" with administrator privileges'
//
// where <command> is an AppleScript string literal (\\ and \" are its only escapes). The
// simulated Mac's approval agent is asked first (who: the image of the calling process; right:
// "system.privilege.admin"; for: the command); on approval the command replaces this process as
// `/bin/sh -c <command>`, so its output and exit status are the caller's to read. A refusal
// prints the Mac's cancel message and exits 1. Anything else is an error and exit 1. The command
// runs as the calling user: the simulated Mac has no administrator to become.

#include "shared/SimulatorWire.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace aerivo {
namespace {

constexpr std::string_view scriptPrefix = "do shell script \"";
constexpr std::string_view scriptSuffix = " with administrator privileges";

struct ScriptError {
    std::string reason;
};

// The command of the one script form understood, or why the script is not that form.
std::variant<std::string, ScriptError> parseScript(std::string_view script) {
    if (!script.starts_with(scriptPrefix)) {
        return ScriptError{"the script must start with: do shell script \""};
    }
    std::string command;
    std::size_t at = scriptPrefix.size();
    for (;; ++at) {
        if (at >= script.size()) {
            return ScriptError{"the string literal is not terminated"};
        }
        const char c = script[at];
        if (c == '"') {
            break;
        }
        if (c == '\\') {
            if (at + 1 >= script.size() || (script[at + 1] != '\\' && script[at + 1] != '"')) {
                return ScriptError{
                    "only \\\\ and \\\" escapes are understood in the string literal"};
            }
            command += script[++at];
            continue;
        }
        command += c;
    }
    if (script.substr(at + 1) != scriptSuffix) {
        return ScriptError{"the string literal must be followed by exactly:" +
                           std::string(scriptSuffix)};
    }
    return command;
}

std::size_t characterCount(std::string_view text) {
    std::size_t count = 0;
    for (const char c : text) {
        count += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
    }
    return count;
}

// The root this copy serves: <root>/usr/bin/osascript is where the simulator installs it;
// a copy elsewhere uses AERIVO_SYSTEM_ROOT, else "/".
std::filesystem::path systemRoot() {
    std::error_code error;
    const auto image = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error && image.filename() == "osascript" && image.parent_path().filename() == "bin" &&
        image.parent_path().parent_path().filename() == "usr") {
        return image.parent_path().parent_path().parent_path();
    }
    const char* root = std::getenv("AERIVO_SYSTEM_ROOT");
    return root != nullptr && *root != '\0' ? root : "/";
}

bool writeAll(int fd, const std::vector<std::uint8_t>& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t sent = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) {
            continue;
        }
        if (sent <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(sent);
    }
    return true;
}

bool readAll(int fd, std::uint8_t* out, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got = ::read(fd, out + done, size - done);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(got);
    }
    return true;
}

// The approval agent's answer, or an error text when it cannot be asked.
std::variant<SimulatorApprovalAnswer, std::string> askApproval(const std::filesystem::path& root,
                                                               const std::string& command) {
    std::error_code error;
    const auto caller =
        std::filesystem::read_symlink("/proc/" + std::to_string(::getppid()) + "/exe", error);
    const std::string socketPath = simulatorSocketPath(root).string();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socketPath.size() >= sizeof address.sun_path) {
        return "the socket path " + socketPath + " is too long";
    }
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        const std::string reason = std::strerror(errno);
        if (fd >= 0) {
            ::close(fd);
        }
        return "no approval agent at " + socketPath + ": " + reason;
    }
    std::vector<std::uint8_t> frame;
    SimulatorWireWriter writer(frame);
    writer.begin(SimulatorOp::approvalRequest);
    writer.string(error ? std::string("unknown") : caller.string());
    writer.string("system.privilege.admin");
    writer.string(command);
    std::array<std::uint8_t, simulatorFrameHeaderSize> header{};
    std::optional<SimulatorFrameHeader> decoded;
    std::vector<std::uint8_t> payload;
    bool ok = writer.finish() && writeAll(fd, frame) && readAll(fd, header.data(), header.size());
    if (ok) {
        decoded = decodeSimulatorHeader(header);
        ok = decoded && decoded->op == SimulatorOp::approvalRequest;
    }
    if (ok) {
        payload.resize(decoded->payloadSize);
        ok = readAll(fd, payload.data(), payload.size());
    }
    ::close(fd);
    if (!ok) {
        return "no valid answer from the approval agent at " + socketPath;
    }
    SimulatorWireReader reader(payload);
    const std::uint8_t answer = reader.u8();
    reader.string();
    if (!reader.finished() ||
        answer > static_cast<std::uint8_t>(SimulatorApprovalAnswer::timedOut)) {
        return "a malformed answer from the approval agent at " + socketPath;
    }
    return static_cast<SimulatorApprovalAnswer>(answer);
}

int run(int argc, char** argv) {
    if (argc != 3 || std::string_view(argv[1]) != "-e") {
        std::cerr << "osascript: this stand-in runs only: osascript -e 'do shell script \"...\" "
                     "with administrator privileges'\n";
        return 1;
    }
    const std::string_view script = argv[2];
    auto parsed = parseScript(script);
    if (const auto* error = std::get_if<ScriptError>(&parsed)) {
        std::cerr << "osascript: unsupported script: " << error->reason << "\n";
        return 1;
    }
    const std::string command = std::get<std::string>(std::move(parsed));
    const auto answer = askApproval(systemRoot(), command);
    if (const auto* failure = std::get_if<std::string>(&answer)) {
        std::cerr << "osascript: " << *failure << "\n";
        return 1;
    }
    if (std::get<SimulatorApprovalAnswer>(answer) != SimulatorApprovalAnswer::approved) {
        std::cerr << "0:" << characterCount(script) << ": execution error: User canceled. (-128)\n";
        return 1;
    }
    std::cout.flush();
    ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    std::cerr << "osascript: cannot run /bin/sh: " << std::strerror(errno) << "\n";
    return 1;
}

} // namespace
} // namespace aerivo

int main(int argc, char** argv) {
    return aerivo::run(argc, argv);
}
