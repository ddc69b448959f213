#pragma once

#include <nlohmann/json.hpp>

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>

namespace aerivo {

// The application bundle a program runs from, laid out as on the Mac:
// "<name>.app/Contents/MacOS/<executable>" with the information dictionary in
// "Contents/Info.json". A program that does not sit in that layout (a bare build output, a program
// in /usr/bin) is its own folder's bundle without an information dictionary, as the Mac treats an
// unbundled tool; isBundle() tells the two apart.
struct ApplicationBundle {
    // Larger files are not an information dictionary of ours and are read as empty.
    static constexpr std::size_t maximumInfoDictionaryBytes = 256 * 1024;

    std::filesystem::path bundlePath;
    std::filesystem::path executablePath;
    // The JSON object of Contents/Info.json; an empty object when the file is missing, too
    // large, not JSON or not an object.
    nlohmann::json infoDictionary = nlohmann::json::object();

    // Reads the bundle around `executablePath`; never throws. A path that is empty or relative
    // gives a bundle with empty paths and an empty dictionary.
    static ApplicationBundle forExecutable(const std::filesystem::path& executablePath);
    // The bundle folder of an executable by its path alone, with "." and ".." resolved.
    static std::filesystem::path
    bundlePathForExecutable(const std::filesystem::path& executablePath);
    static nlohmann::json readInfoDictionary(const std::filesystem::path& bundlePath);

    // Whether the program sits in a real bundle layout, "<name>.app/Contents/MacOS/<executable>".
    bool isBundle() const;

    // The string value of `key`, when the dictionary holds one.
    std::optional<std::string> stringValue(const std::string& key) const;
};

} // namespace aerivo
