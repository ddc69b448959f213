#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace aerivo {

// An absolute URI checked against the generic syntax of RFC 3986, character for character: no
// white space, no characters outside the URI alphabet, well-formed percent escapes. Nothing is
// repaired or normalised, so the text that passed is exactly the text that is used.
struct WebAddress {
    std::string text;
    // As written; compare in lower case.
    std::string scheme;
    // Whether "//" and an authority follow the scheme; `host` is meaningful only then.
    bool hasAuthority = false;
    std::string host;

    static std::optional<WebAddress> parse(std::string_view text);

    friend bool operator==(const WebAddress&, const WebAddress&) = default;
};

} // namespace aerivo
