#pragma once

#include "app/telemetry/InstantArithmetic.h"
#include "app/telemetry/ThermalSample.h"
#include "app/telemetry/ThermalSampleSlice.h"

#include <cstddef>
#include <vector>

namespace aerivo {

// The sample history: a ring buffer of at most `capacity` samples, oldest first. Appending and
// dropping the oldest samples are amortised O(1); the storage grows by doubling up to the capacity
// and then stays put, so a full history costs sizeof(ThermalSample) bytes per sample.
//
// Samples are expected in time order (the store only appends newer ones); the time queries use a
// binary search that relies on it, and stay defined (if meaningless) when it does not hold.
class ThermalHistory {
public:
    explicit ThermalHistory(std::size_t capacity);

    std::size_t capacity() const { return capacity_; }
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    // Oldest first; index < size().
    const ThermalSample& operator[](std::size_t index) const {
        return storage_[physicalIndex(index)];
    }
    const ThermalSample& front() const { return (*this)[0]; }
    const ThermalSample& back() const { return (*this)[size_ - 1]; }

    // Appends; a full history first drops its oldest sample. A zero-capacity history keeps none.
    void append(const ThermalSample& sample);
    // Drops the `count` oldest samples (all of them when count ≥ size()).
    void removeFirst(std::size_t count);
    void clear();
    // Drops the samples recorded before `cutoff` from the front, stopping at the first that is
    // not: amortised O(1) per sample, since each is looked at once when it goes.
    std::size_t removeRecordedBefore(Instant cutoff);

    // Position of the first sample recorded at or after `instant` (size() when none).
    std::size_t firstIndexAtOrAfter(Instant instant) const;
    // Position of the first sample recorded after `instant` (size() when none).
    std::size_t firstIndexAfter(Instant instant) const;

    // Samples [first, last) without copying; positions past the end are clamped.
    ThermalSampleSlice slice(std::size_t first, std::size_t last) const;
    ThermalSampleSlice all() const { return slice(0, size_); }
    // Samples with start ≤ recordedAt ≤ end, both ends included.
    ThermalSampleSlice between(Instant start, Instant end) const;

    std::vector<ThermalSample> toVector() const { return all().toVector(); }
    // Bytes held by the sample storage.
    std::size_t storageBytes() const { return storage_.capacity() * sizeof(ThermalSample); }

    friend bool operator==(const ThermalHistory& a, const ThermalHistory& b);

private:
    std::size_t physicalIndex(std::size_t index) const {
        const std::size_t position = head_ + index;
        return position < storage_.size() ? position : position - storage_.size();
    }
    void grow();

    std::size_t capacity_;
    std::vector<ThermalSample> storage_;
    std::size_t head_ = 0;
    std::size_t size_ = 0;
};

} // namespace aerivo
