#include "app/distribution/DesktopEntry.h"

namespace aerivo {

namespace {

std::string_view trimmedSpaces(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return text;
}

std::string unescapedValue(std::string_view value) {
    std::string result;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            result.push_back(value[i]);
            continue;
        }
        switch (value[++i]) {
        case 's':
            result.push_back(' ');
            break;
        case 'n':
            result.push_back('\n');
            break;
        case 't':
            result.push_back('\t');
            break;
        case 'r':
            result.push_back('\r');
            break;
        case '\\':
            result.push_back('\\');
            break;
        default:
            // Not a string escape: kept for the Exec quoting rules, which have their own.
            result.push_back('\\');
            result.push_back(value[i]);
        }
    }
    return result;
}

bool isReservedInExec(char c) {
    return std::string_view(" \t\n\"'\\><~|&;$*?#()`").find(c) != std::string_view::npos;
}

} // namespace

DesktopEntry DesktopEntry::parse(std::string_view text) {
    DesktopEntry entry;
    bool inMainGroup = false;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = trimmedSpaces(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (line.empty() || line.front() == '#') {
            continue;
        }
        if (line.front() == '[') {
            inMainGroup = line == "[Desktop Entry]";
            continue;
        }
        const std::size_t equals = line.find('=');
        if (!inMainGroup || equals == std::string_view::npos) {
            continue;
        }
        const std::string key(trimmedSpaces(line.substr(0, equals)));
        // The first of a repeated key counts; a well-formed file has none.
        entry.values.emplace(key, unescapedValue(trimmedSpaces(line.substr(equals + 1))));
    }
    return entry;
}

std::optional<std::string> DesktopEntry::value(const std::string& key) const {
    const auto found = values.find(key);
    if (found == values.end()) {
        return std::nullopt;
    }
    return found->second;
}

std::optional<bool> DesktopEntry::booleanValue(const std::string& key) const {
    const auto text = value(key);
    if (text == "true") {
        return true;
    }
    if (text == "false") {
        return false;
    }
    return std::nullopt;
}

std::optional<std::vector<std::string>> DesktopEntry::execArguments() const {
    const auto exec = value("Exec");
    if (!exec) {
        return std::nullopt;
    }
    std::vector<std::string> arguments;
    std::string current;
    bool inArgument = false;
    bool quoted = false;
    const std::string& text = *exec;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"') {
                quoted = false;
            } else if (c == '\\' && i + 1 < text.size() &&
                       std::string_view("\"`$\\").find(text[i + 1]) != std::string_view::npos) {
                current.push_back(text[++i]);
            } else {
                current.push_back(c);
            }
        } else if (c == ' ') {
            if (inArgument) {
                arguments.push_back(std::move(current));
                current.clear();
                inArgument = false;
            }
        } else if (c == '"') {
            quoted = true;
            inArgument = true;
        } else {
            current.push_back(c);
            inArgument = true;
        }
        if (c == '%' && i + 1 < text.size() && text[i + 1] == '%') {
            ++i; // "%%" is one literal percent sign
        }
    }
    if (quoted) {
        return std::nullopt;
    }
    if (inArgument) {
        arguments.push_back(std::move(current));
    }
    return arguments;
}

std::string DesktopEntry::execValue(const std::string& program) {
    bool needsQuotes = program.empty();
    std::string body;
    for (const char c : program) {
        needsQuotes = needsQuotes || isReservedInExec(c);
        if (c == '"' || c == '`' || c == '$' || c == '\\') {
            body.push_back('\\');
        }
        body.push_back(c);
        if (c == '%') {
            body.push_back('%');
        }
    }
    if (!needsQuotes) {
        // Only reached when nothing was escaped, so the body is the program with "%" doubled.
        return body;
    }
    return "\"" + body + "\"";
}

std::string DesktopEntry::escapedValue(std::string_view value) {
    std::string result;
    for (const char c : value) {
        switch (c) {
        case '\\':
            result += "\\\\";
            break;
        case '\n':
            result += "\\n";
            break;
        case '\t':
            result += "\\t";
            break;
        case '\r':
            result += "\\r";
            break;
        default:
            result.push_back(c);
        }
    }
    return result;
}

} // namespace aerivo
