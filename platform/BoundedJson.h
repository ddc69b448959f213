#pragma once

#include <nlohmann/json.hpp>

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace aerivo {

// Reading outside documents (signature files, key files, property lists) within fixed bounds, so
// a damaged or hostile file can neither exhaust memory nor the stack. Never throws.

// The bytes of a regular file of at most `maximumBytes`. Nothing (and a reason in `error`) for a
// missing or unreadable file, one that is not a regular file (a FIFO would block the reader), or
// one that is larger.
std::optional<std::string> readBoundedFile(const std::filesystem::path& path,
                                           std::size_t maximumBytes, std::string* error = nullptr);

// A JSON document nested at most `maximumDepth` levels (printing a deeper tree recurses as deep).
std::optional<nlohmann::json> parseBoundedJson(std::string_view text, std::size_t maximumDepth,
                                               std::string* error = nullptr);

} // namespace aerivo
