#include "platform/helpersocket/HelperFrame.h"
#include "platform/helpersocket/HelperSocketServer.h"
#include "platform/helpersocket/HelperTransport.h"
#include "platform/helpersocket/HelperXPCProxy.h"
#include "platform/helpersocket/SocketActivation.h"
#include "tests/support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <thread>

namespace aerivo {
namespace {

using namespace std::chrono_literals;

// A server on a socket in a temporary folder, run on its own thread for the test's length.
class HelperSocket : public ::testing::Test {
protected:
    void start(
        HelperSocketServer::Handler handler, HelperSocketServer::Options options = {},
        HelperSocketServer::Admission admission = [](const PeerCredentials&) { return true; }) {
        options.log = [this](const std::string& message) {
            std::lock_guard lock(logMutex);
            logged.push_back(message);
        };
        server = HelperSocketServer::bind(path(), std::move(admission), std::move(handler),
                                          std::move(options));
        thread = std::thread([this] { server->run(); });
    }
    void TearDown() override {
        if (server) {
            server->stop();
            thread.join();
        }
    }
    std::string path() const { return (folder.path() / "helper.sock").string(); }

    // Echoes a request's argument back, counting the requests that reached the handler.
    HelperSocketServer::Handler echo() {
        return [this](const HelperRequest& request, HelperSocketServer::Reply reply) {
            ++handled;
            reply({{"method", request.method}, {"argument", request.argument}});
        };
    }

    // Connects, sends raw bytes and reads until the server closes; the bytes it answered.
    std::string rawExchange(const std::string& bytes) const {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strcpy(address.sun_path, path().c_str());
        EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        std::string answer;
        char buffer[4096];
        pollfd entry{fd, POLLIN, 0};
        // Bounded by the test, not the server: a server that kept waiting fails the check.
        while (::poll(&entry, 1, 3000) > 0) {
            const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
            if (got <= 0) {
                ::close(fd);
                return answer;
            }
            answer.append(buffer, static_cast<std::size_t>(got));
        }
        ::close(fd);
        ADD_FAILURE() << "the server kept the connection open";
        return answer;
    }

    HelperRequestResult request(const HelperRequest& request,
                                std::chrono::milliseconds deadline = 2s) {
        return UnixSocketHelperTransport(path()).send(request, deadline);
    }

    testing::TemporaryDirectory folder{"aerivo-transport"};
    std::unique_ptr<HelperSocketServer> server;
    std::thread thread;
    std::atomic<int> handled{0};
    std::mutex logMutex;
    std::vector<std::string> logged;
};

std::string header(std::uint32_t size) {
    return {static_cast<char>(size >> 24), static_cast<char>((size >> 16) & 0xFF),
            static_cast<char>((size >> 8) & 0xFF), static_cast<char>(size & 0xFF)};
}

TEST_F(HelperSocket, MalformedRequestsCloseOnlyTheirConnectionAndNeverReachTheHandler) {
    HelperSocketServer::Options options;
    // Long enough that a server waiting for more bytes would outlast the client's 3 s read.
    options.idleTimeout = 60s;
    start(echo(), options);
    const auto frame = [](const std::string& payload) {
        return header(static_cast<std::uint32_t>(payload.size())) + payload;
    };
    const std::string inputs[] = {
        header(64 * 1024 + 1) + std::string(100, 'x'), // closed at the header
        frame("{\"method\":\"readStatus\",\"argument\":\xFF}"),
        frame("[\"readStatus\"]"),
        frame("{\"method\":\"readStatus\",\"argument\":" + std::string(40, '[') +
              std::string(40, ']') + "}"),
        frame("{\"method\":\"unknown\"}"),
        frame("{\"method\":\"readStatus\",\"argument\":7}"),
    };
    for (const std::string& input : inputs) {
        EXPECT_EQ(rawExchange(input), "") << input.substr(4, 40);
    }
    EXPECT_EQ(handled, 0);
    const HelperRequestResult good = request(HelperRequest::readStatus());
    ASSERT_TRUE(good.isReplied()) << good.detail;
    EXPECT_EQ((*good.reply)["method"], "readStatus");
}

TEST_F(HelperSocket, ATruncatedOrSilentConnectionIsDroppedAfterTheIdleTime) {
    HelperSocketServer::Options options;
    options.idleTimeout = 50ms;
    start(echo(), options);
    EXPECT_EQ(rawExchange(""), "");
    EXPECT_EQ(rawExchange(header(20) + "{\"meth"), "");
    EXPECT_EQ(handled, 0);
}

TEST_F(HelperSocket, ARefusedPeerIsClosedBeforeAnythingIsRead) {
    std::atomic<pid_t> seen{0};
    start(echo(), {}, [&](const PeerCredentials& peer) {
        seen = peer.pid;
        return false;
    });
    const HelperRequestResult result = request(HelperRequest::readStatus());
    EXPECT_EQ(result.outcome, HelperRequestOutcome::refused);
    EXPECT_EQ(seen, ::getpid());
    EXPECT_EQ(handled, 0);
}

TEST_F(HelperSocket, ASecondReplyIsLoggedAndNeverSent) {
    start([](const HelperRequest&, HelperSocketServer::Reply reply) {
        reply({{"n", 1}});
        reply({{"n", 2}});
    });
    const std::string first = *HelperFrame::encode({{"n", 1}});
    EXPECT_EQ(rawExchange(*HelperFrame::encode(HelperRequest::readStatus().dictionary())), first);
    std::lock_guard lock(logMutex);
    EXPECT_EQ(logged, std::vector<std::string>{"a second reply to one request was dropped"});
}

TEST_F(HelperSocket, TheClientNamesEveryWayARequestCanFail) {
    // No server yet: nothing listens at the path.
    EXPECT_EQ(request(HelperRequest::readStatus()).outcome, HelperRequestOutcome::connectionFailed);

    std::mutex mutex;
    std::vector<HelperSocketServer::Reply> parked;
    start([&](const HelperRequest& request, HelperSocketServer::Reply reply) {
        if (request.method == "resetToSystem") {
            std::lock_guard lock(mutex);
            parked.push_back(std::move(reply)); // answered only after the client gave up
        } else {
            reply({{"pad", std::string(HelperFrame::payloadLimit, 'x')}}); // cannot be framed
        }
    });
    EXPECT_EQ(request(HelperRequest::resetToSystem(), 100ms).outcome,
              HelperRequestOutcome::timedOut);
    // The reply that cannot be sent closes the connection: the client sees no reply at all.
    EXPECT_EQ(request(HelperRequest::readStatus()).outcome,
              HelperRequestOutcome::closedBeforeReply);
    EXPECT_EQ(request(HelperRequest::holdManualTargetLease(
                          {{"pad", std::string(HelperFrame::payloadLimit, 'x')}}))
                  .outcome,
              HelperRequestOutcome::requestNotSent);
    std::lock_guard lock(mutex);
    for (auto& reply : parked) {
        reply({{"late", true}}); // after the client left: harmless
    }
}

// Each client sends its own number and must get exactly that number back.
TEST_F(HelperSocket, AThousandConcurrentClientsEachGetTheirOwnReply) {
    HelperSocketServer::Options options;
    options.maximumConnections = 64;
    start(echo(), options);
    constexpr int clients = 1000;
    std::vector<int> answers(clients, -1);
    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    threads.reserve(clients);
    for (int i = 0; i < clients; ++i) {
        threads.emplace_back([&, i] {
            ++ready;
            while (ready < clients) {
                std::this_thread::yield();
            }
            const HelperRequestResult result =
                request(HelperRequest::holdManualTargetLease({{"client", i}}), 30s);
            if (result.isReplied()) {
                answers[static_cast<std::size_t>(i)] = (*result.reply)["argument"]["client"];
            }
        });
    }
    for (std::thread& t : threads) {
        t.join();
    }
    for (int i = 0; i < clients; ++i) {
        EXPECT_EQ(answers[static_cast<std::size_t>(i)], i);
    }
    EXPECT_EQ(handled, clients);
}

// A protocol implementation that answers with the operation's name.
class NamingService final : public AerivoPrivilegedHelperXPCProtocol {
public:
    void readStatus(Reply reply) override { reply({{"called", "readStatus"}}); }
    void resetToSystem(Reply reply) override { reply({{"called", "resetToSystem"}}); }
    void holdManualTargetLease(nlohmann::json request, Reply reply) override {
        reply({{"called", "holdManualTargetLease"}, {"request", request}});
    }
};

TEST_F(HelperSocket, TheProxyAndTheDispatcherMeetOverTheSocket) {
    NamingService service;
    start([&](const HelperRequest& request, HelperSocketServer::Reply reply) {
        request.dispatch(service, std::move(reply));
    });
    UnixSocketHelperTransport transport(path());
    std::vector<nlohmann::json> replies;
    std::vector<HelperRequestOutcome> errors;
    HelperXPCProxy proxy(transport, 2s, [&](const HelperRequestResult& result) {
        errors.push_back(result.outcome);
    });
    const auto keep = [&](nlohmann::json reply) { replies.push_back(std::move(reply)); };
    proxy.readStatus(keep);
    proxy.resetToSystem(keep);
    proxy.holdManualTargetLease({{"fanIndex", 0}}, keep);
    ASSERT_EQ(replies.size(), 3u);
    EXPECT_EQ(replies[0]["called"], "readStatus");
    EXPECT_EQ(replies[1]["called"], "resetToSystem");
    EXPECT_EQ(replies[2]["request"]["fanIndex"], 0);
    EXPECT_TRUE(errors.empty());

    UnixSocketHelperTransport nowhere((folder.path() / "absent.sock").string());
    HelperXPCProxy lost(
        nowhere, 2s, [&](const HelperRequestResult& result) { errors.push_back(result.outcome); });
    lost.readStatus(keep);
    EXPECT_EQ(replies.size(), 3u);
    EXPECT_EQ(errors, std::vector<HelperRequestOutcome>{HelperRequestOutcome::connectionFailed});
}

// Run by the test below as a child that was handed its socket on descriptor 3.
TEST(HelperSocketActivationChild, ServesOneRequestOnTheHandedOverSocket) {
    if (std::getenv("AERIVO_ACTIVATION_CHILD") == nullptr) {
        GTEST_SKIP() << "runs only as the child of another test";
    }
    const std::optional<int> socket = takeActivatedListeningSocket();
    ASSERT_TRUE(socket.has_value());
    EXPECT_EQ(std::getenv("LISTEN_PID"), nullptr);
    std::atomic<bool> served{false};
    auto server = HelperSocketServer::adopt(
        *socket, [](const PeerCredentials&) { return true; },
        [&](const HelperRequest&, HelperSocketServer::Reply reply) {
            reply({{"childPid", ::getpid()}});
            served = true;
        },
        {});
    std::thread runner([&] { server->run(); });
    // Until the one connection has been answered and closed.
    while (!served || server->connectionCount() > 0) {
        std::this_thread::sleep_for(1ms);
    }
    server->stop();
    runner.join();
}

TEST(HelperSocketActivation, AChildTakesDescriptorThreeOnlyWhenTheVariablesNameIt) {
    ::setenv("LISTEN_PID", std::to_string(::getpid() + 1).c_str(), 1);
    ::setenv("LISTEN_FDS", "1", 1);
    EXPECT_FALSE(takeActivatedListeningSocket().has_value());
    EXPECT_NE(std::getenv("LISTEN_PID"), nullptr); // someone else's: left alone
    ::unsetenv("LISTEN_PID");
    ::unsetenv("LISTEN_FDS");

    testing::TemporaryDirectory folder{"aerivo-activation"};
    const std::string path = (folder.path() / "helper.sock").string();
    const int listening = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, path.c_str());
    ASSERT_EQ(::bind(listening, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listening, 8), 0);

    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    const std::string filter =
        "--gtest_filter=HelperSocketActivationChild.ServesOneRequestOnTheHandedOverSocket";
    char pidText[32] = "LISTEN_PID=";
    const pid_t child = ::fork();
    if (child == 0) {
        // Only async-signal-safe calls until exec: the pid is written by hand.
        char digits[16];
        int count = 0;
        for (pid_t pid = ::getpid(); pid > 0; pid /= 10) {
            digits[count++] = static_cast<char>('0' + pid % 10);
        }
        int at = 11;
        while (count > 0) {
            pidText[at++] = digits[--count];
        }
        pidText[at] = '\0';
        ::dup2(listening, 3);
        char fds[] = "LISTEN_FDS=1";
        char marker[] = "AERIVO_ACTIVATION_CHILD=1";
        char* environment[] = {pidText, fds, marker, nullptr};
        char* arguments[] = {const_cast<char*>(self.c_str()), const_cast<char*>(filter.c_str()),
                             nullptr};
        ::execve(self.c_str(), arguments, environment);
        ::_exit(127);
    }
    ::close(listening);
    const HelperRequestResult result =
        UnixSocketHelperTransport(path).send(HelperRequest::readStatus(), 10s);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(result.isReplied()) << result.detail;
    EXPECT_EQ((*result.reply)["childPid"], child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

} // namespace
} // namespace aerivo
