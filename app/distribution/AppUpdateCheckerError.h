#pragma once

#include <stdexcept>
#include <string>

namespace aerivo {

// Why an update metadata document was refused. what() is the text shown to the user.
class AppUpdateCheckerError : public std::runtime_error {
public:
    enum class Kind { invalidMetadata, missingVersion, notJSON };

    static AppUpdateCheckerError invalidMetadata() {
        return {Kind::invalidMetadata, "The update response was not a JSON object."};
    }
    static AppUpdateCheckerError missingVersion() {
        return {Kind::missingVersion, "The update response did not include a version."};
    }
    // The body does not parse. The parser's own message would quote bytes of the response, which
    // a hostile server chooses; this one gives only the position.
    static AppUpdateCheckerError notJSON(std::size_t byte) {
        return {Kind::notJSON,
                "The update response is not valid JSON (at byte " + std::to_string(byte) + ")."};
    }

    Kind kind() const { return kind_; }

private:
    AppUpdateCheckerError(Kind kind, const std::string& message)
        : std::runtime_error(message), kind_(kind) {}

    Kind kind_;
};

} // namespace aerivo
