#pragma once

#include "platform/services/UserDefaults.h"

#include <cstddef>
#include <map>
#include <mutex>
#include <string>
#include <variant>

namespace aerivo {

// User defaults held in memory for the life of the object: for tests and for runs that must not
// touch the user's saved settings. Safe to share between threads.
class InMemoryUserDefaults final : public UserDefaults {
public:
    std::optional<Data> data(std::string_view key) const override;
    std::optional<std::string> string(std::string_view key) const override;
    bool setData(std::string_view key, std::span<const std::uint8_t> value) override;
    bool setString(std::string_view key, std::string_view value) override;
    bool remove(std::string_view key) override;

    bool contains(std::string_view key) const;
    std::size_t count() const;

private:
    mutable std::mutex mutex_;
    std::map<std::string, std::variant<Data, std::string>, std::less<>> values_;
};

} // namespace aerivo
