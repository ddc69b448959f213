#pragma once

#include <optional>
#include <string>
#include <utility>

namespace aerivo {

// Why a value could not be encoded or decoded: the member path that was at fault
// ("points[2].rpm", empty for the document itself) and what was wrong with it.
struct CodingError {
    std::string path;
    std::string detail;

    // "points[2].rpm: expected a number", or the detail alone for the document itself.
    std::string message() const { return path.empty() ? detail : path + ": " + detail; }

    // The same fault seen from the enclosing value, whose member `member` held the faulty value.
    CodingError within(const std::string& member) const {
        if (path.empty()) {
            return {member, detail};
        }
        return {member + (path.front() == '[' ? "" : ".") + path, detail};
    }

    friend bool operator==(const CodingError&, const CodingError&) = default;
};

// Either a value or the error that prevented it; coding functions return this and never throw.
template <typename Value> class CodingResult {
public:
    CodingResult(Value value) : value_(std::move(value)) {}
    CodingResult(CodingError error) : error_(std::move(error)) {}

    bool ok() const { return value_.has_value(); }
    explicit operator bool() const { return ok(); }

    const std::optional<Value>& value() const& { return value_; }
    std::optional<Value>&& value() && { return std::move(value_); }
    // Only meaningful when !ok().
    const CodingError& error() const { return error_; }

private:
    std::optional<Value> value_;
    CodingError error_;
};

} // namespace aerivo
