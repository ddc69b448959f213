#include "platform/services/InMemoryUserDefaults.h"

namespace aerivo {

std::optional<UserDefaults::Data> InMemoryUserDefaults::data(std::string_view key) const {
    const std::lock_guard lock(mutex_);
    const auto it = values_.find(key);
    if (it == values_.end()) {
        return std::nullopt;
    }
    if (const auto* value = std::get_if<Data>(&it->second)) {
        return *value;
    }
    return std::nullopt;
}

std::optional<std::string> InMemoryUserDefaults::string(std::string_view key) const {
    const std::lock_guard lock(mutex_);
    const auto it = values_.find(key);
    if (it == values_.end()) {
        return std::nullopt;
    }
    if (const auto* value = std::get_if<std::string>(&it->second)) {
        return *value;
    }
    return std::nullopt;
}

bool InMemoryUserDefaults::setData(std::string_view key, std::span<const std::uint8_t> value) {
    const std::lock_guard lock(mutex_);
    values_.insert_or_assign(std::string(key), Data(value.begin(), value.end()));
    return true;
}

bool InMemoryUserDefaults::setString(std::string_view key, std::string_view value) {
    const std::lock_guard lock(mutex_);
    values_.insert_or_assign(std::string(key), std::string(value));
    return true;
}

bool InMemoryUserDefaults::remove(std::string_view key) {
    const std::lock_guard lock(mutex_);
    const auto it = values_.find(key);
    if (it != values_.end()) {
        values_.erase(it);
    }
    return true;
}

bool InMemoryUserDefaults::contains(std::string_view key) const {
    const std::lock_guard lock(mutex_);
    return values_.find(key) != values_.end();
}

std::size_t InMemoryUserDefaults::count() const {
    const std::lock_guard lock(mutex_);
    return values_.size();
}

} // namespace aerivo
