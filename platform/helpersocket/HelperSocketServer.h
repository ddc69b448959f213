#pragma once

#include "platform/helpersocket/HelperRequest.h"

#include <asio/io_context.hpp>
#include <asio/local/stream_protocol.hpp>
#include <asio/steady_timer.hpp>

#include <nlohmann/json.hpp>

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace aerivo {

// Who is at the other end of an accepted connection, as the kernel saw it at connect time.
struct PeerCredentials {
    pid_t pid = 0;
    uid_t uid = 0;
    gid_t gid = 0;

    friend bool operator==(const PeerCredentials&, const PeerCredentials&) = default;
};

// The helper's side of the helper socket: one request per connection, one reply, then close.
//
// Accepting runs on the thread that calls run(); every accepted connection is then served on a
// thread of its own: the admission check first (before a single byte is read, so a refused peer
// cannot make the helper parse anything), one frame within the idle time, the handler, and the
// reply frame once the handler's reply callback has been called. A handler may block (a manual
// hold takes over ten seconds) without holding up other connections, and may reply from any
// thread. Anything malformed closes that connection only. At most `maximumConnections` are
// served at once; further clients wait in the listen backlog until one ends.
class HelperSocketServer {
public:
    using Admission = std::function<bool(const PeerCredentials&)>;
    using Reply = std::function<void(nlohmann::json dictionary)>;
    using Handler = std::function<void(const HelperRequest& request, Reply reply)>;
    using Log = std::function<void(const std::string& message)>;

    struct Options {
        // A connection that has not sent its whole request by then is dropped.
        std::chrono::milliseconds idleTimeout{5000};
        // A handler that has not replied by then gets its connection closed.
        std::chrono::milliseconds replyTimeout{120000};
        std::size_t maximumConnections = 256;
        // Programming errors (a second reply, a handler that throws). Standard error by default.
        Log log;
    };

    // Binds the socket at `path` (mode 0660); a stale socket file is replaced. Throws
    // std::runtime_error when the path is too long, another server answers there, or the bind
    // fails.
    static std::unique_ptr<HelperSocketServer>
    bind(const std::filesystem::path& path, Admission admission, Handler handler, Options options);
    // Serves a socket that is already bound and listening (one handed over by a service
    // manager). Takes ownership of the descriptor.
    static std::unique_ptr<HelperSocketServer> adopt(int listeningDescriptor, Admission admission,
                                                     Handler handler, Options options);

    HelperSocketServer(const HelperSocketServer&) = delete;
    HelperSocketServer& operator=(const HelperSocketServer&) = delete;
    // Stops and waits for every connection to end.
    ~HelperSocketServer();

    // Accepts connections on the calling thread until stop().
    void run();
    // From any thread but a handler's: stops accepting, wakes every connection waiting on the
    // socket or on a reply, and waits until all of them have ended and run() has returned. A
    // handler still blocked in its own work is waited for. Idempotent.
    void stop();

    std::size_t connectionCount() const;

private:
    struct ReplyBox;

    HelperSocketServer(Admission admission, Handler handler, Options options);

    void accept();
    void serve(int descriptor, PeerCredentials peer, std::uint64_t id);
    void finishConnection(std::uint64_t id);

    Admission admission_;
    Handler handler_;
    Options options_;
    std::filesystem::path boundPath_;

    asio::io_context io_;
    asio::local::stream_protocol::acceptor acceptor_;
    asio::steady_timer retry_;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    struct Connection {
        int descriptor;
        std::shared_ptr<ReplyBox> reply;
    };
    std::map<std::uint64_t, Connection> connections_;
    std::uint64_t nextConnection_ = 0;
    bool acceptPaused_ = false;
    bool stopping_ = false;
    bool running_ = false;
};

} // namespace aerivo
