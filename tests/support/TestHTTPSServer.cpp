#include "tests/support/TestHTTPSServer.h"

#include <asio.hpp>
#include <asio/ssl.hpp>

#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace aerivo::testing {

namespace {

using Stream = asio::ssl::stream<asio::ip::tcp::socket>;

} // namespace

struct TestHTTPSServer::State {
    asio::io_context context;
    asio::ssl::context tls{asio::ssl::context::tls_server};
    asio::ip::tcp::acceptor acceptor{context};
    std::mutex mutex;
    std::map<std::string, Response> routes;
    // Connections that were told to hang stay open here until the server stops.
    std::vector<std::shared_ptr<Stream>> held;
    std::thread thread;

    Response responseFor(const std::string& path) {
        std::lock_guard lock(mutex);
        const auto found = routes.find(path);
        if (found != routes.end()) {
            return found->second;
        }
        return {"HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n", false};
    }

    void accept() {
        acceptor.async_accept([this](const std::error_code& error, asio::ip::tcp::socket socket) {
            if (error) {
                return;
            }
            serve(std::make_shared<Stream>(std::move(socket), tls));
            accept();
        });
    }

    void serve(std::shared_ptr<Stream> stream) {
        stream->async_handshake(
            asio::ssl::stream_base::server, [this, stream](const std::error_code& error) {
                if (error) {
                    return;
                }
                auto request = std::make_shared<asio::streambuf>();
                asio::async_read_until(
                    *stream, *request, "\r\n\r\n",
                    [this, stream, request](const std::error_code& readError, std::size_t) {
                        if (readError) {
                            return;
                        }
                        std::istream lines(request.get());
                        std::string method;
                        std::string path;
                        lines >> method >> path;
                        answer(stream, responseFor(path));
                    });
            });
    }

    void answer(const std::shared_ptr<Stream>& stream, Response response) {
        if (response.neverAnswers) {
            held.push_back(stream);
            return;
        }
        auto bytes = std::make_shared<std::string>(std::move(response.bytes));
        asio::async_write(*stream, asio::buffer(*bytes),
                          [stream, bytes](const std::error_code&, std::size_t) {
                              // close_notify marks the end of a body sent without a length.
                              stream->async_shutdown([stream](const std::error_code&) {
                                  std::error_code ignored;
                                  stream->lowest_layer().close(ignored);
                              });
                          });
    }
};

TestHTTPSServer::TestHTTPSServer(const TestCertificate& certificate)
    : state_(std::make_unique<State>()) {
    state_->tls.use_certificate_chain(asio::buffer(certificate.certificatePEM));
    state_->tls.use_private_key(asio::buffer(certificate.privateKeyPEM), asio::ssl::context::pem);
    const asio::ip::tcp::endpoint endpoint(asio::ip::make_address("127.0.0.1"), 0);
    state_->acceptor.open(endpoint.protocol());
    state_->acceptor.bind(endpoint);
    state_->acceptor.listen();
    state_->accept();
    state_->thread = std::thread([state = state_.get()] { state->context.run(); });
}

TestHTTPSServer::~TestHTTPSServer() {
    state_->context.stop();
    state_->thread.join();
}

void TestHTTPSServer::route(const std::string& path, Response response) {
    std::lock_guard lock(state_->mutex);
    state_->routes[path] = std::move(response);
}

std::string TestHTTPSServer::url(const std::string& path) const {
    return "https://127.0.0.1:" + std::to_string(state_->acceptor.local_endpoint().port()) + path;
}

TestHTTPSServer::Response TestHTTPSServer::ok(const std::string& body) {
    return {"HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " +
                std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body,
            false};
}

TestHTTPSServer::Response TestHTTPSServer::okWithoutLength(const std::string& body) {
    return {"HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nConnection: close\r\n\r\n" + body,
            false};
}

TestHTTPSServer::Response TestHTTPSServer::redirect(const std::string& location) {
    return {"HTTP/1.1 302 Found\r\nLocation: " + location +
                "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n",
            false};
}

TestHTTPSServer::Response TestHTTPSServer::silent() {
    return {"", true};
}

} // namespace aerivo::testing
