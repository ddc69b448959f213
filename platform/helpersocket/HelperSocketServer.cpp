#include "platform/helpersocket/HelperSocketServer.h"

#include "platform/helpersocket/HelperFrameIO.h"

#include <asio/post.hpp>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <iostream>
#include <stdexcept>
#include <thread>

namespace aerivo {

namespace {

using stream = asio::local::stream_protocol;

void standardErrorLog(const std::string& message) {
    std::cerr << "helper socket: " << message << std::endl;
}

} // namespace

// The one reply a request may get. It outlives the connection when a handler replies late (from
// the lease queue, say), so it refers to nothing of the server.
struct HelperSocketServer::ReplyBox {
    std::mutex mutex;
    std::condition_variable arrived;
    std::optional<nlohmann::json> value;
    bool delivered = false;
    bool cancelled = false;

    // False when a reply was already given: the caller logs it, nothing more is sent.
    bool deliver(nlohmann::json dictionary) {
        std::lock_guard lock(mutex);
        if (delivered) {
            return false;
        }
        delivered = true;
        value = std::move(dictionary);
        arrived.notify_all();
        return true;
    }

    // True when a reply had already been given.
    bool cancel() {
        std::lock_guard lock(mutex);
        cancelled = true;
        arrived.notify_all();
        return delivered;
    }

    std::optional<nlohmann::json> wait(std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex);
        arrived.wait_for(lock, timeout, [this] { return value.has_value() || cancelled; });
        return value;
    }
};

HelperSocketServer::HelperSocketServer(Admission admission, Handler handler, Options options)
    : admission_(std::move(admission)), handler_(std::move(handler)), options_(std::move(options)),
      acceptor_(io_), retry_(io_) {
    if (!options_.log) {
        options_.log = standardErrorLog;
    }
    if (options_.maximumConnections == 0) {
        options_.maximumConnections = 1;
    }
}

std::unique_ptr<HelperSocketServer> HelperSocketServer::bind(const std::filesystem::path& path,
                                                             Admission admission, Handler handler,
                                                             Options options) {
    const std::string text = path.string();
    if (text.size() >= sizeof(sockaddr_un{}.sun_path)) {
        throw std::runtime_error("socket path is too long for a Unix socket: " + text);
    }
    std::unique_ptr<HelperSocketServer> server(
        new HelperSocketServer(std::move(admission), std::move(handler), std::move(options)));
    std::error_code error;
    std::filesystem::create_directories(path.parent_path(), error);
    if (std::filesystem::is_socket(path, error)) {
        stream::socket probe(server->io_);
        probe.connect(stream::endpoint(text), error);
        if (!error) {
            throw std::runtime_error("another server is already listening on " + text);
        }
        std::filesystem::remove(path, error);
    } else if (std::filesystem::exists(path, error)) {
        throw std::runtime_error(text + " exists and is not a socket");
    }
    server->acceptor_.open(stream());
    server->acceptor_.bind(stream::endpoint(text), error);
    if (error) {
        throw std::runtime_error("cannot bind " + text + ": " + error.message());
    }
    // Owner and group only: the helper runs as root, the socket's group is the admin group.
    if (::chmod(text.c_str(), 0660) != 0) {
        throw std::runtime_error("cannot set the mode of " + text);
    }
    server->acceptor_.listen(asio::socket_base::max_listen_connections, error);
    if (error) {
        throw std::runtime_error("cannot listen on " + text + ": " + error.message());
    }
    server->boundPath_ = path;
    return server;
}

std::unique_ptr<HelperSocketServer> HelperSocketServer::adopt(int listeningDescriptor,
                                                              Admission admission, Handler handler,
                                                              Options options) {
    std::unique_ptr<HelperSocketServer> server(
        new HelperSocketServer(std::move(admission), std::move(handler), std::move(options)));
    std::error_code error;
    server->acceptor_.assign(stream(), listeningDescriptor, error);
    if (error) {
        ::close(listeningDescriptor);
        throw std::runtime_error("cannot use the handed-over socket: " + error.message());
    }
    return server;
}

HelperSocketServer::~HelperSocketServer() {
    stop();
}

void HelperSocketServer::run() {
    {
        std::lock_guard lock(mutex_);
        if (stopping_) {
            return;
        }
        running_ = true;
    }
    asio::post(io_, [this] { accept(); });
    auto guard = asio::make_work_guard(io_);
    io_.run();
    std::lock_guard lock(mutex_);
    running_ = false;
    changed_.notify_all();
}

void HelperSocketServer::stop() {
    std::unique_lock lock(mutex_);
    if (!stopping_) {
        stopping_ = true;
        io_.stop();
        for (auto& [id, connection] : connections_) {
            // Wakes a thread waiting for bytes or for its handler's reply. A reply already given
            // is still written (within its own deadline), so stopping never swallows an answer.
            if (!connection.reply->cancel()) {
                ::shutdown(connection.descriptor, SHUT_RDWR);
            }
        }
    }
    changed_.wait(lock, [this] { return connections_.empty() && !running_; });
    lock.unlock();
    std::error_code ignored;
    acceptor_.close(ignored);
    if (!boundPath_.empty()) {
        std::filesystem::remove(boundPath_, ignored);
        boundPath_.clear();
    }
}

std::size_t HelperSocketServer::connectionCount() const {
    std::lock_guard lock(mutex_);
    return connections_.size();
}

void HelperSocketServer::accept() {
    {
        std::lock_guard lock(mutex_);
        if (stopping_) {
            return;
        }
        if (connections_.size() >= options_.maximumConnections) {
            acceptPaused_ = true;
            return;
        }
    }
    acceptor_.async_accept([this](std::error_code error, stream::socket socket) {
        if (error == asio::error::operation_aborted) {
            return;
        }
        if (error) {
            // Out of descriptors or similar: try again shortly instead of spinning.
            retry_.expires_after(std::chrono::milliseconds(100));
            retry_.async_wait([this](std::error_code waitError) {
                if (!waitError) {
                    accept();
                }
            });
            return;
        }
        const int descriptor = socket.release();
        ucred credentials{};
        socklen_t length = sizeof credentials;
        if (::getsockopt(descriptor, SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0) {
            ::close(descriptor);
        } else {
            std::unique_lock lock(mutex_);
            if (stopping_) {
                lock.unlock();
                ::close(descriptor);
                return;
            }
            const std::uint64_t id = nextConnection_++;
            connections_.emplace(id, Connection{descriptor, std::make_shared<ReplyBox>()});
            lock.unlock();
            std::thread([this, descriptor, id,
                         peer =
                             PeerCredentials{credentials.pid, credentials.uid, credentials.gid}] {
                serve(descriptor, peer, id);
            }).detach();
        }
        accept();
    });
}

void HelperSocketServer::serve(int descriptor, PeerCredentials peer, std::uint64_t id) {
    // The descriptor stays open until finishConnection() closes it.
    std::shared_ptr<ReplyBox> box;
    {
        std::lock_guard lock(mutex_);
        box = connections_.at(id).reply;
    }
    const auto served = [&]() -> void {
        if (!admission_ || !admission_(peer)) {
            return;
        }
        const auto deadline = std::chrono::steady_clock::now() + options_.idleTimeout;
        HelperFrameIO::ReadResult frame = HelperFrameIO::read(descriptor, deadline);
        if (frame.status != HelperFrameIO::ReadResult::Status::frame) {
            return;
        }
        const std::optional<HelperRequest> request = HelperRequest::fromDictionary(frame.object);
        if (!request) {
            return;
        }
        Reply reply = [box, log = options_.log](nlohmann::json dictionary) {
            if (!box->deliver(std::move(dictionary))) {
                log("a second reply to one request was dropped");
            }
        };
        try {
            handler_(*request, std::move(reply));
        } catch (const std::exception& error) {
            options_.log(std::string("request handler failed: ") + error.what());
            return;
        }
        const std::optional<nlohmann::json> answer = box->wait(options_.replyTimeout);
        if (!answer) {
            return;
        }
        const std::optional<std::string> bytes = HelperFrame::encode(*answer);
        if (!bytes) {
            options_.log("a reply that is not an object or exceeds the frame limit was not sent");
            return;
        }
        HelperFrameIO::write(descriptor, *bytes,
                             std::chrono::steady_clock::now() + options_.idleTimeout);
    };
    served();
    finishConnection(id);
}

void HelperSocketServer::finishConnection(std::uint64_t id) {
    std::lock_guard lock(mutex_);
    // Closed under the lock, so stop() never shuts down a descriptor number already reused.
    if (const auto connection = connections_.find(id); connection != connections_.end()) {
        ::close(connection->second.descriptor);
        connections_.erase(connection);
    }
    if (acceptPaused_ && !stopping_) {
        acceptPaused_ = false;
        asio::post(io_, [this] { accept(); });
    }
    changed_.notify_all();
}

} // namespace aerivo
