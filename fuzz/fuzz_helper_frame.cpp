// libFuzzer target for the helper socket's frame and request decoder: whatever bytes a client
// sends, decoding ends in a refusal or an object, and a request only comes from an object.
#include "platform/helpersocket/HelperFrame.h"
#include "platform/helpersocket/HelperRequest.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace aerivo;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto decoded = HelperFrame::decode(bytes);
    if (const auto* object = std::get_if<nlohmann::json>(&decoded)) {
        if (!object->is_object() || !HelperFrame::encode(*object)) {
            std::abort();
        }
        if (const auto request = HelperRequest::fromDictionary(*object)) {
            if (!request->argument.is_object()) {
                std::abort();
            }
        }
    }
    // The payload alone, as the server reads it after a valid header.
    (void)HelperFrame::decodePayload(bytes);
    return 0;
}
