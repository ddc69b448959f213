#include "app/telemetry/ThermalHistory.h"

#include <algorithm>

namespace aerivo {

namespace {

constexpr std::size_t initialStorage = 256;

} // namespace

ThermalHistory::ThermalHistory(std::size_t capacity) : capacity_(capacity) {}

void ThermalHistory::grow() {
    const std::size_t grown = std::min(capacity_, std::max(initialStorage, storage_.size() * 2));
    std::vector<ThermalSample> larger;
    larger.reserve(grown);
    for (std::size_t index = 0; index < size_; ++index) {
        larger.push_back((*this)[index]);
    }
    larger.resize(grown);
    storage_ = std::move(larger);
    head_ = 0;
}

void ThermalHistory::append(const ThermalSample& sample) {
    if (capacity_ == 0) {
        return;
    }
    if (size_ == storage_.size()) {
        if (storage_.size() < capacity_) {
            grow();
        } else {
            // Full: the new sample takes the oldest one's place.
            storage_[head_] = sample;
            head_ = physicalIndex(1);
            return;
        }
    }
    storage_[physicalIndex(size_)] = sample;
    ++size_;
}

void ThermalHistory::removeFirst(std::size_t count) {
    if (count >= size_) {
        clear();
        return;
    }
    head_ = physicalIndex(count);
    size_ -= count;
}

void ThermalHistory::clear() {
    head_ = 0;
    size_ = 0;
}

std::size_t ThermalHistory::removeRecordedBefore(Instant cutoff) {
    std::size_t removed = 0;
    while (removed < size_ && (*this)[removed].recordedAt < cutoff) {
        ++removed;
    }
    removeFirst(removed);
    return removed;
}

std::size_t ThermalHistory::firstIndexAtOrAfter(Instant instant) const {
    std::size_t low = 0;
    std::size_t high = size_;
    while (low < high) {
        const std::size_t middle = low + (high - low) / 2;
        if ((*this)[middle].recordedAt < instant) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    return low;
}

std::size_t ThermalHistory::firstIndexAfter(Instant instant) const {
    std::size_t low = 0;
    std::size_t high = size_;
    while (low < high) {
        const std::size_t middle = low + (high - low) / 2;
        if ((*this)[middle].recordedAt <= instant) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    return low;
}

ThermalSampleSlice ThermalHistory::slice(std::size_t first, std::size_t last) const {
    last = std::min(last, size_);
    if (first >= last) {
        return {};
    }
    const std::size_t begin = physicalIndex(first);
    const std::size_t count = last - first;
    const std::size_t untilWrap = storage_.size() - begin;
    const ThermalSample* base = storage_.data();
    if (count <= untilWrap) {
        return ThermalSampleSlice(std::span<const ThermalSample>(base + begin, count), {});
    }
    return ThermalSampleSlice(std::span<const ThermalSample>(base + begin, untilWrap),
                              std::span<const ThermalSample>(base, count - untilWrap));
}

ThermalSampleSlice ThermalHistory::between(Instant start, Instant end) const {
    if (end < start) {
        return {};
    }
    return slice(firstIndexAtOrAfter(start), firstIndexAfter(end));
}

bool operator==(const ThermalHistory& a, const ThermalHistory& b) {
    if (a.capacity_ != b.capacity_ || a.size_ != b.size_) {
        return false;
    }
    for (std::size_t index = 0; index < a.size_; ++index) {
        if (!(a[index] == b[index])) {
            return false;
        }
    }
    return true;
}

} // namespace aerivo
