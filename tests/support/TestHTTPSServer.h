#pragma once

#include "tests/support/TestCertificate.h"

#include <memory>
#include <string>

namespace aerivo::testing {

// A real HTTPS server on 127.0.0.1 (an ephemeral port) for one test, on its own thread. It
// answers each request by its path with a scripted response; unknown paths get 404. Stops and
// drops every connection when destroyed.
class TestHTTPSServer {
public:
    struct Response {
        // The complete bytes sent back: status line, headers and body.
        std::string bytes;
        // Completes the TLS handshake, reads the request and then never answers.
        bool neverAnswers = false;
    };

    explicit TestHTTPSServer(const TestCertificate& certificate);
    ~TestHTTPSServer();
    TestHTTPSServer(const TestHTTPSServer&) = delete;
    TestHTTPSServer& operator=(const TestHTTPSServer&) = delete;

    // Safe to call while the server runs.
    void route(const std::string& path, Response response);
    // "https://127.0.0.1:<port><path>"
    std::string url(const std::string& path) const;

    // 200 with a Content-Length.
    static Response ok(const std::string& body);
    // 200 without a length: the body ends when the connection closes.
    static Response okWithoutLength(const std::string& body);
    static Response redirect(const std::string& location);
    static Response silent();

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace aerivo::testing
