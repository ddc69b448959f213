// A stand-in for the app's side of the helper socket in end-to-end tests: sends one request and
// prints the reply. The tests sign a copy of it as the app, so the helper admits it.
//
//   aerivo_helper_request SOCKET METHOD [ARGUMENT-JSON]
//
// Prints the reply dictionary as one line of JSON and exits 0, or prints "outcome=<how it
// ended> detail=<text>" and exits 1. Bad arguments exit 2.

#include "platform/helpersocket/HelperTransport.h"

#include <chrono>
#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    using namespace aerivo;
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
