#pragma once

#include "app/model/AerivoStoreProperty.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace aerivo {

// The observers of one store. Notification runs on the store's (main) thread; an observer may
// subscribe or unsubscribe others, or itself, while being notified.
class AerivoStoreObservers {
public:
    using Observer = std::function<void(AerivoStoreProperty)>;

    std::uint64_t add(Observer observer) {
        const std::uint64_t id = nextId_++;
        entries_.emplace_back(id, std::make_shared<Observer>(std::move(observer)));
        return id;
    }
    void remove(std::uint64_t id) {
        std::erase_if(entries_, [id](const auto& entry) { return entry.first == id; });
    }
    bool contains(std::uint64_t id) const {
        for (const auto& entry : entries_) {
            if (entry.first == id) {
                return true;
            }
        }
        return false;
    }
    std::size_t size() const { return entries_.size(); }

    void notify(AerivoStoreProperty property) const {
        if (entries_.empty()) {
            return;
        }
        // Observers may change the list while being called: call a copy, skipping any removed
        // since the copy was taken.
        const auto current = entries_;
        for (const auto& [id, observer] : current) {
            if (contains(id)) {
                (*observer)(property);
            }
        }
    }

private:
    std::uint64_t nextId_ = 1;
    std::vector<std::pair<std::uint64_t, std::shared_ptr<Observer>>> entries_;
};

// A subscription to a store's changes; dropping it unsubscribes. May outlive the store.
class AerivoStoreObservation {
public:
    AerivoStoreObservation() = default;
    AerivoStoreObservation(std::weak_ptr<AerivoStoreObservers> observers, std::uint64_t id)
        : observers_(std::move(observers)), id_(id) {}
    AerivoStoreObservation(AerivoStoreObservation&& other) noexcept
        : observers_(std::move(other.observers_)), id_(std::exchange(other.id_, 0)) {}
    AerivoStoreObservation& operator=(AerivoStoreObservation&& other) noexcept {
        if (this != &other) {
            cancel();
            observers_ = std::move(other.observers_);
            id_ = std::exchange(other.id_, 0);
        }
        return *this;
    }
    AerivoStoreObservation(const AerivoStoreObservation&) = delete;
    AerivoStoreObservation& operator=(const AerivoStoreObservation&) = delete;
    ~AerivoStoreObservation() { cancel(); }

    void cancel() {
        if (auto observers = observers_.lock(); observers && id_ != 0) {
            observers->remove(id_);
        }
        observers_.reset();
        id_ = 0;
    }

private:
    std::weak_ptr<AerivoStoreObservers> observers_;
    std::uint64_t id_ = 0;
};

} // namespace aerivo
