#include "sim/daemon/SimDaemonServer.h"

#include "sim/daemon/SimDaemonConnection.h"

#include "shared/SimulatorWire.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <deque>
#include <stdexcept>

namespace aerivo {

namespace {

using stream = asio::local::stream_protocol;

} // namespace

SimDaemonServer::SimDaemonServer(asio::io_context& io, std::filesystem::path systemRoot,
                                 std::unique_ptr<SimulatedMac> machine, SimDaemonSettings settings)
    : io_(io), root_(std::move(systemRoot)), socketPath_(simulatorSocketPath(root_)),
      machine_(std::move(machine)), services_(io, root_),
      approvals_(io, approvalAnswerFile(root_), settings.approvalPolicy, settings.approvalTimeout),
      acceptor_(io), tick_(io), retry_(io), started_(std::chrono::steady_clock::now()),
      busyUntil_(started_) {
    std::error_code error;
    privilegedFolder_ =
        std::filesystem::weakly_canonical(root_ / "Library" / "PrivilegedHelperTools", error);
    if (error) {
        privilegedFolder_ = root_ / "Library" / "PrivilegedHelperTools";
    }
}

SimDaemonServer::~SimDaemonServer() {
    stop();
    *alive_ = false;
}

std::filesystem::path SimDaemonServer::approvalAnswerFile(const std::filesystem::path& systemRoot) {
    return systemRoot / "var" / "run" / "aerivo-sim-mac.approval";
}

std::vector<std::string> SimDaemonServer::statusLines() const {
    std::vector<std::string> lines = machine_->statusLines();
    for (const auto& part : {approvals_.statusLines(), services_.statusLines()}) {
        lines.insert(lines.end(), part.begin(), part.end());
    }
    return lines;
}

bool SimDaemonServer::isPrivilegedImage(const std::filesystem::path& image) const {
    const std::string folder = privilegedFolder_.string() + "/";
    return image.string().starts_with(folder);
}

void SimDaemonServer::catchUp() {
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - started_;
    machine_->advanceTo(elapsed.count());
}

std::chrono::steady_clock::time_point
SimDaemonServer::reserveDelay(std::chrono::microseconds delay) {
    busyUntil_ = std::max(busyUntil_, std::chrono::steady_clock::now()) + delay;
    return busyUntil_;
}

void SimDaemonServer::start() {
    const std::string path = socketPath_.string();
    // The staged name it is bound under first is at most 12 bytes longer.
    if (path.size() + 12 >= sizeof(sockaddr_un{}.sun_path)) {
        throw std::runtime_error("socket path is too long for a Unix socket: " + path);
    }
    std::error_code error;
    std::filesystem::create_directories(socketPath_.parent_path(), error);
    if (error) {
        throw std::runtime_error("cannot create " + socketPath_.parent_path().string() + ": " +
                                 error.message());
    }
    if (std::filesystem::is_socket(socketPath_, error)) {
        stream::socket probe(io_);
        probe.connect(stream::endpoint(path), error);
        if (!error) {
            throw std::runtime_error("another simulator is already serving " + path);
        }
        std::filesystem::remove(socketPath_, error);
    } else if (std::filesystem::exists(socketPath_, error)) {
        throw std::runtime_error(path + " exists and is not a socket");
    }
    // The helper jobs first: once the device socket appears, the root is complete.
    services_.start();
    // Bound and listening under a temporary name, then renamed into place: a client that sees
    // the socket can connect at once.
    const std::string staged = (socketPath_.parent_path() / ("." + socketPath_.filename().string() +
                                                             "." + std::to_string(::getpid())))
                                   .string();
    std::filesystem::remove(staged, error);
    acceptor_.open(stream());
    acceptor_.bind(stream::endpoint(staged), error);
    if (!error) {
        acceptor_.listen(asio::socket_base::max_listen_connections, error);
    }
    // Every local user may connect; only the privileged image may write.
    if (!error && ::chmod(staged.c_str(), 0666) != 0) {
        error = std::error_code(errno, std::generic_category());
    }
    if (!error) {
        std::filesystem::rename(staged, socketPath_, error);
    }
    if (error) {
        std::error_code ignored;
        std::filesystem::remove(staged, ignored);
        throw std::runtime_error("cannot bind " + path + ": " + error.message());
    }
    accept();
    scheduleTick();
}

void SimDaemonServer::stop() {
    if (stopped_) {
        return;
    }
    stopped_ = true;
    approvals_.cancelAll();
    services_.stop();
    std::error_code error;
    if (acceptor_.is_open()) {
        acceptor_.close(error);
        std::filesystem::remove(socketPath_, error);
    }
    tick_.cancel();
    retry_.cancel();
    io_.stop();
}

void SimDaemonServer::accept() {
    acceptor_.async_accept([this](std::error_code error, stream::socket socket) {
        if (stopped_ || error == asio::error::operation_aborted) {
            return;
        }
        if (error) {
            // Out of descriptors or similar: try again shortly instead of spinning.
            retry_.expires_after(std::chrono::milliseconds(100));
            retry_.async_wait([this](std::error_code waitError) {
                if (!waitError && !stopped_) {
                    accept();
                }
            });
            return;
        }
        std::make_shared<Connection>(*this, std::move(socket))->start();
        accept();
    });
}

void SimDaemonServer::scheduleTick() {
    // Scripted events and emergencies happen on time even when nobody is asking.
    tick_.expires_after(std::chrono::milliseconds(250));
    tick_.async_wait([this](std::error_code error) {
        if (error || stopped_) {
            return;
        }
        catchUp();
        scheduleTick();
    });
}

} // namespace aerivo
