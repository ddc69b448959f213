#include "platform/hwmon/HwmonSMCKeyTable.h"

#include "platform/hwmon/HwmonAttribute.h"
#include "shared/SMCKeyCodec.h"
#include "shared/SMCResult.h"
#include "shared/SMCValue.h"

#include <algorithm>
#include <cerrno>
#include <cmath>

namespace aerivo {

namespace {

constexpr std::uint8_t readableAttribute = 0x80;
constexpr std::uint8_t writableAttribute = 0x40;

std::vector<std::uint8_t> floatBytes(double rpm) {
    return SMCValue{"", "flt ", 4, {0, 0, 0, 0}}.replacingRPM(rpm).bytes;
}

std::string fanKey(int fanNumber, std::string_view suffix) {
    return "F" + std::to_string(fanNumber - 1) + std::string(suffix);
}

} // namespace

KernReturn HwmonSMCKeyTable::kernelCodeForErrno(int error) {
    switch (error) {
    case 0:
        return kIOReturnSuccess;
    case EACCES:
    case EPERM:
        return kIOReturnNotPermitted;
    case EOPNOTSUPP:
        return kIOReturnUnsupported;
    case EINVAL:
    case ERANGE:
        return kIOReturnBadArgument;
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return kIOReturnNoDevice;
    default:
        return kIOReturnError;
    }
}

HwmonSMCKeyTable::HwmonSMCKeyTable(HwmonDevice device, HwmonManualModeRecord modeRecord,
                                   std::unique_ptr<HwmonFanWriting> writer)
    : device_(std::move(device)), modeRecord_(std::move(modeRecord)), writer_(std::move(writer)),
      writeSupported_(device_.fanWriteSupport().isAvailable), fanCount_(device_.fanCount()) {
    keys_.push_back({"#KEY", "ui32", 4, Kind::keyCount, 0});
    keys_.push_back({"FNum", "ui8 ", 1, Kind::fanCount, 0});
    for (int number = 1; number <= fanCount_; ++number) {
        keys_.push_back({fanKey(number, "Ac"), "flt ", 4, Kind::actual, number});
        if (HwmonAttribute::exists(device_.fanAttribute(number, "min"))) {
            keys_.push_back({fanKey(number, "Mn"), "flt ", 4, Kind::minimum, number});
        }
        if (HwmonAttribute::exists(device_.fanAttribute(number, "max"))) {
            keys_.push_back({fanKey(number, "Mx"), "flt ", 4, Kind::maximum, number});
        }
        const bool hasTarget = HwmonAttribute::exists(device_.targetAttribute(number));
        if (hasTarget) {
            keys_.push_back({fanKey(number, "Tg"), "flt ", 4, Kind::target, number});
        }
        const bool hasMode = device_.driver() == HwmonDriver::macsmc
                                 ? hasTarget
                                 : HwmonAttribute::exists(device_.fanAttribute(number, "manual"));
        if (hasMode) {
            keys_.push_back({fanKey(number, "md"), "ui8 ", 1, Kind::mode, number});
        }
    }
    std::sort(keys_.begin(), keys_.end(),
              [](const Key& a, const Key& b) { return smcKeyCode(a.name) < smcKeyCode(b.name); });
}

std::vector<std::string> HwmonSMCKeyTable::keyNames() const {
    std::vector<std::string> names;
    names.reserve(keys_.size());
    for (const Key& key : keys_) {
        names.push_back(key.name);
    }
    return names;
}

const HwmonSMCKeyTable::Key* HwmonSMCKeyTable::find(std::uint32_t code) const {
    const auto it = std::find_if(keys_.begin(), keys_.end(),
                                 [code](const Key& key) { return smcKeyCode(key.name) == code; });
    return it == keys_.end() ? nullptr : &*it;
}

HwmonSMCKeyTable::Read HwmonSMCKeyTable::readSpeed(const std::filesystem::path& attribute) const {
    const auto text = device_.files().readText(attribute);
    if (const int* error = std::get_if<int>(&text)) {
        return {kernelCodeForErrno(*error), 0, {}};
    }
    const auto rpm = HwmonAttribute::parseInteger(std::get<std::string>(text));
    if (!rpm || *rpm < 0 || *rpm > maximumRPM) {
        return {kIOReturnSuccess, SMCResult::keyNotReadable, {}};
    }
    return {kIOReturnSuccess, SMCResult::success, floatBytes(static_cast<double>(*rpm))};
}

HwmonSMCKeyTable::Read HwmonSMCKeyTable::readMode(int fanNumber) const {
    if (device_.driver() == HwmonDriver::macsmc) {
        return {kIOReturnSuccess,
                SMCResult::success,
                {static_cast<std::uint8_t>(modeRecord_.isManual(fanNumber) ? 1 : 0)}};
    }
    const std::filesystem::path attribute = device_.fanAttribute(fanNumber, "manual");
    const auto text = device_.files().readText(attribute);
    if (const int* error = std::get_if<int>(&text)) {
        return {kernelCodeForErrno(*error), 0, {}};
    }
    const auto mode = HwmonAttribute::parseInteger(std::get<std::string>(text));
    if (!mode || (*mode != 0 && *mode != 1)) {
        return {kIOReturnSuccess, SMCResult::keyNotReadable, {}};
    }
    return {kIOReturnSuccess, SMCResult::success, {static_cast<std::uint8_t>(*mode)}};
}

HwmonSMCKeyTable::Read HwmonSMCKeyTable::read(const Key& key) const {
    switch (key.kind) {
    case Kind::keyCount: {
        const auto count = static_cast<std::uint32_t>(keys_.size());
        return {kIOReturnSuccess,
                SMCResult::success,
                {static_cast<std::uint8_t>(count >> 24), static_cast<std::uint8_t>(count >> 16),
                 static_cast<std::uint8_t>(count >> 8), static_cast<std::uint8_t>(count)}};
    }
    case Kind::fanCount:
        return {
            kIOReturnSuccess, SMCResult::success, {static_cast<std::uint8_t>(device_.fanCount())}};
    case Kind::actual:
        return readSpeed(device_.fanAttribute(key.fanNumber, "input"));
    case Kind::minimum:
        return readSpeed(device_.fanAttribute(key.fanNumber, "min"));
    case Kind::maximum:
        return readSpeed(device_.fanAttribute(key.fanNumber, "max"));
    case Kind::target:
        return readSpeed(device_.targetAttribute(key.fanNumber));
    case Kind::mode:
        return readMode(key.fanNumber);
    }
    return {kIOReturnSuccess, SMCResult::keyNotReadable, {}};
}

KernReturn HwmonSMCKeyTable::execute(const SMCKeyData& input, SMCKeyData& output) const {
    output = SMCKeyData{};
    output.key = input.key;
    output.data8 = input.data8;

    if (input.data8 == commandCode(SMCCommand::readKeyAtIndex)) {
        if (input.data32 >= keys_.size()) {
            output.result = SMCResult::keyIndexOutOfRange;
        } else {
            output.key = smcKeyCode(keys_[input.data32].name);
        }
        return kIOReturnSuccess;
    }
    const bool isRead = input.data8 == commandCode(SMCCommand::readKeyInfo) ||
                        input.data8 == commandCode(SMCCommand::readBytes);
    const bool isWrite = input.data8 == commandCode(SMCCommand::writeBytes);
    if (!isRead && !isWrite) {
        output.result = SMCResult::badCommand;
        return kIOReturnSuccess;
    }
    if (isWrite && writer_ == nullptr) {
        return kIOReturnNotPrivileged;
    }
    const Key* key = find(input.key);
    if (key == nullptr) {
        output.result = SMCResult::keyNotFound;
        return kIOReturnSuccess;
    }
    if (input.data8 == commandCode(SMCCommand::readKeyInfo)) {
        const bool writable = key->kind == Kind::target || key->kind == Kind::mode;
        output.keyInfo.dataSize = key->size;
        output.keyInfo.dataType = smcKeyCode(key->type);
        output.keyInfo.dataAttributes = static_cast<std::uint8_t>(
            readableAttribute | (writable && writeSupported_ ? writableAttribute : 0));
        return kIOReturnSuccess;
    }
    if (input.keyInfo.dataSize != key->size) {
        output.result = SMCResult::keySizeMismatch;
        return kIOReturnSuccess;
    }
    output.keyInfo.dataSize = key->size;
    if (isWrite) {
        if (key->kind != Kind::target && key->kind != Kind::mode) {
            output.result = SMCResult::keyNotWritable;
            return kIOReturnSuccess;
        }
        const std::vector<std::uint8_t> bytes(input.bytes.begin(), input.bytes.begin() + key->size);
        return writer_->write(key->kind == Kind::target ? HwmonFanKey::target : HwmonFanKey::mode,
                              key->fanNumber, bytes, output.result);
    }
    const Read value = read(*key);
    if (value.kernel != kIOReturnSuccess) {
        return value.kernel;
    }
    output.result = value.smcResult;
    std::copy(value.bytes.begin(), value.bytes.end(), output.bytes.begin());
    return kIOReturnSuccess;
}

} // namespace aerivo
