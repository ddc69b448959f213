#include "sim/daemon/SimDaemonConnection.h"

#include <sys/socket.h>

namespace aerivo {

namespace {

// The running image of a peer process: /proc/<pid>/exe, resolved by the kernel.
std::optional<std::filesystem::path> peerImage(int fd, pid_t& pid) {
    ucred credentials{};
    socklen_t length = sizeof credentials;
    if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0 ||
        credentials.pid <= 0) {
        return std::nullopt;
    }
    pid = credentials.pid;
    std::error_code error;
    auto image =
        std::filesystem::read_symlink("/proc/" + std::to_string(credentials.pid) + "/exe", error);
    if (error) {
        return std::nullopt;
    }
    return image;
}

} // namespace

SimDaemonServer::Connection::Connection(SimDaemonServer& server, stream::socket socket)
    : server_(server), alive_(server.alive_), socket_(std::move(socket)),
      delay_(socket_.get_executor()) {}

SimDaemonServer::Connection::~Connection() {
    // Handlers still queued when the server went away are destroyed with the io_context.
    if (opened_ && *alive_) {
        server_.machine().closeSession(session_);
    }
}

void SimDaemonServer::Connection::start() {
    pid_t pid = 0;
    const auto image = peerImage(socket_.native_handle(), pid);
    const bool privileged = image && server_.isPrivilegedImage(*image);
    const std::string name = (image ? image->filename().string() : std::string("unknown")) + "[" +
                             std::to_string(pid) + "]" + (privileged ? " privileged" : "");
    session_ = server_.machine().openSession(name, privileged);
    peerName_ = name;
    opened_ = true;
    readHeader();
}

void SimDaemonServer::Connection::readHeader() {
    asio::async_read(socket_, asio::buffer(header_),
                     [self = shared_from_this()](std::error_code error, std::size_t) {
                         if (!error) {
                             self->readPayload();
                         }
                     });
}

void SimDaemonServer::Connection::readPayload() {
    const auto header = decodeSimulatorHeader(header_);
    if (!header) {
        return; // dropping the last reference closes the socket
    }
    op_ = header->op;
    payload_.resize(header->payloadSize);
    asio::async_read(socket_, asio::buffer(payload_),
                     [self = shared_from_this()](std::error_code error, std::size_t) {
                         if (!error) {
                             self->answer();
                         }
                     });
}

void SimDaemonServer::Connection::answer() {
    server_.catchUp();
    reply_.clear();
    SimulatorWireWriter writer(reply_);
    writer.begin(op_);
    std::chrono::microseconds delay{0};
    if (!handle(writer, delay)) {
        return;
    }
    if (deferred_) {
        deferred_ = false; // the reply is written when it is known
        return;
    }
    if (!writer.finish()) {
        return;
    }
    if (delay.count() > 0) {
        delay_.expires_at(server_.reserveDelay(delay));
        delay_.async_wait([self = shared_from_this()](std::error_code error) {
            if (!error) {
                self->write();
            }
        });
        return;
    }
    write();
}

void SimDaemonServer::Connection::write() {
    asio::async_write(socket_, asio::buffer(reply_),
                      [self = shared_from_this()](std::error_code error, std::size_t) {
                          if (error) {
                              return;
                          }
                          if (self->quitAfterReply_) {
                              self->server_.stop();
                              return;
                          }
                          self->readHeader();
                      });
}

void SimDaemonServer::Connection::replyToApproval(SimulatorApprovalAnswer answer) {
    reply_.clear();
    SimulatorWireWriter writer(reply_);
    writer.begin(SimulatorOp::approvalRequest);
    writer.u8(static_cast<std::uint8_t>(answer));
    writer.string(SimApprovalAgent::answerName(answer));
    if (writer.finish()) {
        write();
    }
}

} // namespace aerivo
