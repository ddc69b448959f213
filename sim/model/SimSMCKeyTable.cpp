#include "sim/model/SimSMCKeyTable.h"

#include "shared/SMCKeyCodec.h"
#include "sim/model/SimSMCResult.h"

#include <algorithm>

namespace aerivo {

namespace {

bool lessByName(const SimSMCKey& key, std::string_view name) {
    return std::string_view(key.name) < name;
}

} // namespace

void SimSMCKeyTable::add(SimSMCKey key) {
    const auto it = std::lower_bound(keys_.begin(), keys_.end(), key.name, lessByName);
    if (it != keys_.end() && it->name == key.name) {
        *it = std::move(key);
        return;
    }
    keys_.insert(it, std::move(key));
}

const SimSMCKey* SimSMCKeyTable::find(std::string_view name) const {
    const auto it = std::lower_bound(keys_.begin(), keys_.end(), name, lessByName);
    if (it == keys_.end() || it->name != name) {
        return nullptr;
    }
    return &*it;
}

const SimSMCKey* SimSMCKeyTable::at(std::size_t index) const {
    return index < keys_.size() ? &keys_[index] : nullptr;
}

SMCKeyData SimSMCKeyTable::execute(const SMCKeyData& input) const {
    SMCKeyData output;
    output.key = input.key;
    output.data8 = input.data8;

    if (input.data8 == commandCode(SMCCommand::readKeyAtIndex)) {
        const SimSMCKey* key = at(input.data32);
        if (key == nullptr) {
            output.result = SimSMCResult::keyIndexOutOfRange;
            return output;
        }
        output.key = smcKeyCode(key->name);
        return output;
    }

    const bool known = input.data8 == commandCode(SMCCommand::readKeyInfo) ||
                       input.data8 == commandCode(SMCCommand::readBytes) ||
                       input.data8 == commandCode(SMCCommand::writeBytes);
    if (!known) {
        output.result = SimSMCResult::badCommand;
        return output;
    }
    // Key codes whose bytes are not text cannot name a key of the table.
    const std::string name = fourCharacterString(input.key);
    const SimSMCKey* key = name.size() == 4 ? find(name) : nullptr;
    if (key == nullptr) {
        output.result = SimSMCResult::keyNotFound;
        return output;
    }

    if (input.data8 == commandCode(SMCCommand::readKeyInfo)) {
        output.keyInfo.dataSize = key->size;
        output.keyInfo.dataType = smcKeyCode(key->type);
        output.keyInfo.dataAttributes =
            static_cast<std::uint8_t>(readableAttribute | (key->write ? writableAttribute : 0));
        return output;
    }

    if (input.keyInfo.dataSize != key->size) {
        output.result = SimSMCResult::keySizeMismatch;
        return output;
    }
    output.keyInfo.dataSize = key->size;

    if (input.data8 == commandCode(SMCCommand::readBytes)) {
        const std::vector<std::uint8_t> value = key->read();
        const std::size_t count = std::min(value.size(), output.bytes.size());
        std::copy_n(value.begin(), count, output.bytes.begin());
        return output;
    }

    if (!key->write) {
        output.result = SimSMCResult::keyNotWritable;
        return output;
    }
    const auto count = std::min<std::size_t>(key->size, input.bytes.size());
    const std::vector<std::uint8_t> bytes(input.bytes.begin(), input.bytes.begin() + count);
    output.result = key->write(bytes);
    return output;
}

} // namespace aerivo
