#include "shared/SMCConnection.h"

#include "shared/SMCKeyCodec.h"

#include <algorithm>
#include <cstdio>

namespace aerivo {

namespace {

SMCKeyData commandRecord(std::string_view key, SMCCommand command) {
    SMCKeyData input;
    input.key = smcKeyCode(key);
    input.data8 = commandCode(command);
    return input;
}

// SMC keys are exactly four bytes; a longer text would alias another key (its leading bytes are
// shifted out of the code), so the read and write sequences refuse it.
bool isFourByteKey(std::string_view key) {
    return key.size() == 4;
}

std::size_t cappedSize(std::uint32_t dataSize) {
    return std::min<std::size_t>(dataSize, smcKeyDataValueBytes);
}

std::string hexList(const SMCKeyData& data, std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        char digits[3];
        std::snprintf(digits, sizeof digits, "%02X", static_cast<unsigned>(data.bytes[i]));
        if (i > 0) {
            text.push_back(' ');
        }
        text += digits;
    }
    return text;
}

} // namespace

SMCCallResult SMCConnection::call(const SMCKeyData& input) {
    SMCCallResult answer;
    answer.kernelResult = callStructMethod(smcStructMethodSelector, input, answer.output);
    return answer;
}

SMCCallResult SMCConnection::readKeyInfo(std::string_view key, std::uint32_t selector) {
    SMCCallResult answer;
    answer.kernelResult =
        callStructMethod(selector, commandRecord(key, SMCCommand::readKeyInfo), answer.output);
    return answer;
}

SMCCallResult SMCConnection::readBytes(std::string_view key, std::uint32_t dataSize) {
    SMCKeyData input = commandRecord(key, SMCCommand::readBytes);
    input.keyInfo.dataSize = dataSize;
    return call(input);
}

std::optional<SMCValue> SMCConnection::readValue(std::string_view key) {
    if (!isFourByteKey(key)) {
        return std::nullopt;
    }
    const SMCCallResult info = readKeyInfo(key);
    if (!info.isSuccess()) {
        return std::nullopt;
    }
    const SMCCallResult read = readBytes(key, info.output.keyInfo.dataSize);
    if (!read.isSuccess()) {
        return std::nullopt;
    }
    const std::size_t n = cappedSize(info.output.keyInfo.dataSize);
    SMCValue value;
    value.key = std::string(key);
    value.dataType = fourCharacterString(info.output.keyInfo.dataType);
    value.dataSize = static_cast<int>(n);
    value.bytes.assign(read.output.bytes.begin(),
                       read.output.bytes.begin() + static_cast<std::ptrdiff_t>(n));
    return value;
}

std::optional<std::string> SMCConnection::key(std::uint32_t index) {
    SMCKeyData input;
    input.data8 = commandCode(SMCCommand::readKeyAtIndex);
    input.data32 = index;
    const SMCCallResult answer = call(input);
    if (!answer.isSuccess()) {
        return std::nullopt;
    }
    std::string name = fourCharacterString(answer.output.key);
    if (name.size() != 4 || !std::all_of(name.begin(), name.end(), [](char c) {
            const auto byte = static_cast<std::uint8_t>(c);
            return byte >= 32 && byte <= 126;
        })) {
        return std::nullopt;
    }
    return name;
}

std::string SMCConnection::debugLine(std::string_view key) {
    const std::string shown = displayKey(key);
    const SMCCallResult info = readKeyInfo(key);
    if (info.kernelResult != kIOReturnSuccess) {
        return shown + ": info=" + kernelResultText(info.kernelResult) +
               " inputSize=" + std::to_string(smcKeyDataSize);
    }
    const SMCCallResult read = readBytes(key, info.output.keyInfo.dataSize);
    const std::size_t n = cappedSize(info.output.keyInfo.dataSize);
    return shown + ": info=" + kernelResultText(info.kernelResult) +
           " result=" + std::to_string(info.output.result) +
           " type=" + fourCharacterString(info.output.keyInfo.dataType) +
           " size=" + std::to_string(n) + " read=" + kernelResultText(read.kernelResult) +
           " readResult=" + std::to_string(read.output.result) +
           " inputSize=" + std::to_string(smcKeyDataSize) + " bytes=[" + hexList(read.output, n) +
           "]";
}

std::vector<std::uint8_t> byteArray(const SMCKeyData& data) {
    return {data.bytes.begin(), data.bytes.end()};
}

} // namespace aerivo
