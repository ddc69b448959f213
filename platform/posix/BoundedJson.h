#pragma once

#include <nlohmann/json.hpp>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace aerivo {

// Reading outside JSON (signature files, key files, property lists, saved profiles, socket frames,
// update metadata) within fixed bounds, so a damaged or hostile text can exhaust neither memory
// nor the stack. Never throws.

// What a pass over the text found before any tree is built: well-formed and nested at most
// `maximumDepth` levels, malformed (with the byte where the parser stopped and its message), or
// nested too deep (the pass stops at the first level too deep).
struct JsonScreen {
    enum class Verdict { wellFormed, malformed, tooDeep };

    Verdict verdict = Verdict::wellFormed;
    std::size_t errorPosition = 0;
    std::string message;

    bool isWellFormed() const { return verdict == Verdict::wellFormed; }
};
JsonScreen screenJson(std::string_view text, std::size_t maximumDepth);

// A JSON document nested at most `maximumDepth` levels (printing a deeper tree recurses as deep).
std::optional<nlohmann::json> parseBoundedJson(std::string_view text, std::size_t maximumDepth,
                                               std::string* error = nullptr);

} // namespace aerivo
