#pragma once

#include "shared/SMCKeyData.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace aerivo {

// One key of the simulated SMC. `read` produces the current value bytes (exactly `size` of
// them); `write`, present only for writable keys, applies new bytes and answers an SMC result
// byte (0 = accepted).
struct SimSMCKey {
    std::string name; // four characters
    std::string type; // four characters, "flt " with its blank
    std::uint32_t size = 0;
    std::function<std::vector<std::uint8_t>()> read;
    std::function<std::uint8_t(const std::vector<std::uint8_t>&)> write;
};

// The SMC's key table, kept in key-code order as the controller enumerates it, and the four
// commands of the call record against it. Privilege and injected faults are the caller's
// concern; this answers as a healthy controller would.
class SimSMCKeyTable {
public:
    static constexpr std::uint8_t readableAttribute = 0x80;
    static constexpr std::uint8_t writableAttribute = 0x40;

    // Adds a key, replacing one of the same name.
    void add(SimSMCKey key);
    std::size_t size() const { return keys_.size(); }
    const SimSMCKey* find(std::string_view name) const;
    const SimSMCKey* at(std::size_t index) const;

    // One command: the output record as the controller fills it. `dataSize` of a read or write
    // must equal the key's size; writes of keys without a writer are refused.
    SMCKeyData execute(const SMCKeyData& input) const;

private:
    std::vector<SimSMCKey> keys_; // sorted by name, byte-wise = by key code
};

} // namespace aerivo
