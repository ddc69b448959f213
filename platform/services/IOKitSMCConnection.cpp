#include "platform/services/IOKitSMCConnection.h"

namespace aerivo {

static_assert(ioStructMethodRecordSize == smcKeyDataSize);

KernReturn IOKitSMCConnection::callStructMethod(std::uint32_t selector, const SMCKeyData& input,
                                                SMCKeyData& output) {
    IOStructMethodRecord answer{};
    const KernReturn result = port_.callStructMethod(connection_, selector, input.image(), answer);
    output = SMCKeyData::fromImage(answer);
    return result;
}

} // namespace aerivo
