// A stand-in for the app's side of the helper socket in end-to-end tests: sends one request and
// prints the reply. The tests sign a copy of it as the app, so the helper admits it.
//
//   aerivo_helper_request SOCKET METHOD [ARGUMENT-JSON]
//   aerivo_helper_request SOCKET --silent COUNT
//
// Prints the reply dictionary as one line of JSON and exits 0, or prints "outcome=<how it
// ended> detail=<text>" and exits 1. Bad arguments exit 2.
//
// With --silent it opens COUNT connections at once and sends nothing on any of them (the
// admitted client that holds a connection thread each), waits until the helper has closed every
// one (a minute at most), prints "connected=<opened> closedByHelper=<closed>" and exits 0.

#include "platform/helpersocket/HelperTransport.h"
#include "tests/support/SocketFlood.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    using namespace aerivo;
    if (argc == 4 && std::string(argv[2]) == "--silent") {
        const int count = std::atoi(argv[3]);
        if (count <= 0) {
            return 2;
        }
        const testing::SocketFloodResult held =
            testing::floodSocket(argv[1], count, "", std::chrono::minutes(1));
        std::printf("connected=%ld closedByHelper=%ld\n", held.connected, held.closedByPeer);
        return 0;
    }
    if (argc < 3 || argc > 4) {
        std::fprintf(stderr, "usage: aerivo_helper_request SOCKET METHOD [ARGUMENT-JSON]\n");
        return 2;
    }
    nlohmann::json request = {{"method", argv[2]}};
    if (argc == 4) {
        request["argument"] = nlohmann::json::parse(argv[3], nullptr, false);
    }
    const std::optional<HelperRequest> parsed = HelperRequest::fromDictionary(request);
    if (!parsed) {
        std::fprintf(stderr, "not a helper request: %s\n", request.dump().c_str());
        return 2;
    }
    UnixSocketHelperTransport transport(argv[1]);
    const HelperRequestResult result = transport.send(*parsed, std::chrono::seconds(30));
    if (result.isReplied() && result.reply) {
        std::printf("%s\n", result.reply->dump().c_str());
        return 0;
    }
    std::printf("outcome=%s detail=%s\n", std::string(rawValue(result.outcome)).c_str(),
                result.detail.c_str());
    return 1;
}
