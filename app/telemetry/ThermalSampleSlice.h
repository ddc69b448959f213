#pragma once

#include "app/telemetry/ThermalSample.h"

#include <cstddef>
#include <iterator>
#include <span>
#include <vector>

namespace aerivo {

// A read-only view of consecutive history samples, oldest first, without copying them. The
// history is a ring, so a run of samples is at most two contiguous pieces. Valid until the
// history it came from next changes.
class ThermalSampleSlice {
public:
    class Iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = ThermalSample;
        using difference_type = std::ptrdiff_t;
        using pointer = const ThermalSample*;
        using reference = const ThermalSample&;

        Iterator() = default;
        reference operator*() const { return *current_; }
        pointer operator->() const { return current_; }
        Iterator& operator++() {
            ++current_;
            if (current_ == pieceEnd_) {
                current_ = nextBegin_;
                pieceEnd_ = nextEnd_;
                nextBegin_ = nullptr;
                nextEnd_ = nullptr;
            }
            return *this;
        }
        Iterator operator++(int) {
            Iterator copy = *this;
            ++*this;
            return copy;
        }
        friend bool operator==(const Iterator& a, const Iterator& b) {
            return a.current_ == b.current_;
        }

    private:
        friend class ThermalSampleSlice;
        Iterator(pointer current, pointer pieceEnd, pointer nextBegin, pointer nextEnd)
            : current_(current), pieceEnd_(pieceEnd), nextBegin_(nextBegin), nextEnd_(nextEnd) {}
        // Past the last sample, current_ is null, which is what end() holds.
        pointer current_ = nullptr;
        pointer pieceEnd_ = nullptr;
        pointer nextBegin_ = nullptr;
        pointer nextEnd_ = nullptr;
    };

    ThermalSampleSlice() = default;
    ThermalSampleSlice(std::span<const ThermalSample> first, std::span<const ThermalSample> second)
        : first_(first), second_(second) {
        if (first_.empty()) {
            first_ = second_;
            second_ = {};
        }
    }
    // A contiguous run, for example a plain vector of samples.
    ThermalSampleSlice(std::span<const ThermalSample> samples) : first_(samples) {}
    ThermalSampleSlice(const std::vector<ThermalSample>& samples) : first_(samples) {}

    std::size_t size() const { return first_.size() + second_.size(); }
    bool empty() const { return size() == 0; }
    const ThermalSample& operator[](std::size_t index) const {
        return index < first_.size() ? first_[index] : second_[index - first_.size()];
    }
    const ThermalSample& front() const { return (*this)[0]; }
    const ThermalSample& back() const { return (*this)[size() - 1]; }

    Iterator begin() const {
        if (first_.empty()) {
            return end();
        }
        if (second_.empty()) {
            return Iterator(first_.data(), first_.data() + first_.size(), nullptr, nullptr);
        }
        return Iterator(first_.data(), first_.data() + first_.size(), second_.data(),
                        second_.data() + second_.size());
    }
    Iterator end() const { return Iterator(nullptr, nullptr, nullptr, nullptr); }

    // The pieces in order; the second is empty when the run does not wrap.
    std::span<const ThermalSample> firstPiece() const { return first_; }
    std::span<const ThermalSample> secondPiece() const { return second_; }

    std::vector<ThermalSample> toVector() const {
        std::vector<ThermalSample> result;
        result.reserve(size());
        result.insert(result.end(), first_.begin(), first_.end());
        result.insert(result.end(), second_.begin(), second_.end());
        return result;
    }

private:
    std::span<const ThermalSample> first_;
    std::span<const ThermalSample> second_;
};

} // namespace aerivo
