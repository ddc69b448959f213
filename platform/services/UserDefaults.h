#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace aerivo {

// A per-user key-value database holding binary data and strings by key, like the Mac's user
// defaults. A key holds one value of one kind: reading a key as the other kind gives nothing.
// Readers never throw; writers report whether the value reached the database's storage, and a
// write that fails leaves the previous value in place.
class UserDefaults {
public:
    using Data = std::vector<std::uint8_t>;

    virtual ~UserDefaults() = default;

    // The binary data under the key; nothing when the key is missing or holds a string.
    virtual std::optional<Data> data(std::string_view key) const = 0;
    // The string under the key; nothing when the key is missing or holds binary data.
    virtual std::optional<std::string> string(std::string_view key) const = 0;

    // Replace whatever the key holds. False when the value could not be stored.
    virtual bool setData(std::string_view key, std::span<const std::uint8_t> value) = 0;
    virtual bool setString(std::string_view key, std::string_view value) = 0;
    // Remove the key. True when the key is gone afterwards (also when it was never there).
    virtual bool remove(std::string_view key) = 0;
};

} // namespace aerivo
