#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace aerivo {

// The "[Desktop Entry]" group of a desktop entry file (the freedesktop.org Desktop Entry format
// that session autostart folders hold), and the quoting rules of its Exec key.
struct DesktopEntry {
    // Keys as written (localized keys like "Name[de]" included), values with the string escapes
    // (\s \n \t \r \\) undone. Lines of other groups, comments and blank lines are not kept.
    std::map<std::string, std::string> values;

    static DesktopEntry parse(std::string_view text);

    std::optional<std::string> value(const std::string& key) const;
    // "true" or "false" exactly, as the format's Booleans are written; anything else is none.
    std::optional<bool> booleanValue(const std::string& key) const;
    // The Exec value split into arguments: double-quoted arguments unquoted, "%%" read as "%".
    // None when the quoting is broken.
    std::optional<std::vector<std::string>> execArguments() const;

    // An Exec value that starts `program` with no arguments. A path with any reserved character
    // is double-quoted, with ", `, $ and \ escaped inside the quotes; "%" is doubled.
    static std::string execValue(const std::string& program);
    // A value written into the file: backslashes and line breaks escaped.
    static std::string escapedValue(std::string_view value);
};

} // namespace aerivo
