#include "shared/smcwrite/SMCValueWriter.h"

#include "shared/SMCKeyCodec.h"

#include <algorithm>

namespace aerivo {

FanTargetWriteResult writeSMCValue(SMCConnection& connection, const SMCValue& value) {
    if (value.key.size() != 4 || value.dataSize < 0 ||
        static_cast<std::size_t>(value.dataSize) > smcKeyDataValueBytes) {
        return {kIOReturnBadArgument, 0};
    }
    SMCKeyData input;
    input.key = smcKeyCode(value.key);
    input.data8 = commandCode(SMCCommand::writeBytes);
    input.keyInfo.dataSize = static_cast<std::uint32_t>(value.dataSize);
    const std::size_t count = std::min(value.bytes.size(), smcKeyDataValueBytes);
    std::copy_n(value.bytes.begin(), count, input.bytes.begin());
    const SMCCallResult answer = connection.call(input);
    return {answer.kernelResult, answer.output.result};
}

} // namespace aerivo
