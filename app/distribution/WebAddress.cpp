#include "app/distribution/WebAddress.h"

namespace aerivo {

namespace {

bool isAlpha(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
bool isHex(char c) {
    return isDigit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}
bool isUnreserved(char c) {
    return isAlpha(c) || isDigit(c) || c == '-' || c == '.' || c == '_' || c == '~';
}
bool isSubDelimiter(char c) {
    return std::string_view("!$&'()*+,;=").find(c) != std::string_view::npos;
}

// True when every character of `part` is allowed by `allowed` or starts a valid "%XX" escape.
template <typename Allowed> bool isEncodedRun(std::string_view part, Allowed allowed) {
    for (std::size_t i = 0; i < part.size(); ++i) {
        if (part[i] == '%') {
            if (i + 2 >= part.size() || !isHex(part[i + 1]) || !isHex(part[i + 2])) {
                return false;
            }
            i += 2;
        } else if (!allowed(part[i])) {
            return false;
        }
    }
    return true;
}

bool isPathCharacter(char c) {
    return isUnreserved(c) || isSubDelimiter(c) || c == ':' || c == '@' || c == '/';
}

bool isValidHost(std::string_view host) {
    if (!host.empty() && host.front() == '[') {
        // IP-literal: an IPv6 address or "v<hex>.<text>" between brackets.
        if (host.size() < 3 || host.back() != ']') {
            return false;
        }
        const std::string_view inside = host.substr(1, host.size() - 2);
        if (inside.front() == 'v' || inside.front() == 'V') {
            const std::size_t dot = inside.find('.');
            if (dot == std::string_view::npos || dot < 2 || dot + 1 == inside.size()) {
                return false;
            }
            for (char c : inside.substr(1, dot - 1)) {
                if (!isHex(c)) {
                    return false;
                }
            }
            for (char c : inside.substr(dot + 1)) {
                if (!isUnreserved(c) && !isSubDelimiter(c) && c != ':') {
                    return false;
                }
            }
            return true;
        }
        if (inside.find(':') == std::string_view::npos) {
            return false;
        }
        for (char c : inside) {
            if (!isHex(c) && c != ':' && c != '.') {
                return false;
            }
        }
        return true;
    }
    // reg-name, which also covers dotted IPv4 addresses.
    return isEncodedRun(host, [](char c) { return isUnreserved(c) || isSubDelimiter(c); });
}

} // namespace

std::optional<WebAddress> WebAddress::parse(std::string_view text) {
    // scheme = ALPHA *( ALPHA / DIGIT / "+" / "-" / "." ), then ":"
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos || colon == 0 || !isAlpha(text.front())) {
        return std::nullopt;
    }
    for (char c : text.substr(0, colon)) {
        if (!isAlpha(c) && !isDigit(c) && c != '+' && c != '-' && c != '.') {
            return std::nullopt;
        }
    }
    WebAddress address;
    address.text = std::string(text);
    address.scheme = std::string(text.substr(0, colon));

    std::string_view rest = text.substr(colon + 1);
    // The fragment and the query, from the end inwards.
    if (const std::size_t hash = rest.find('#'); hash != std::string_view::npos) {
        if (!isEncodedRun(rest.substr(hash + 1),
                          [](char c) { return isPathCharacter(c) || c == '?'; })) {
            return std::nullopt;
        }
        rest = rest.substr(0, hash);
    }
    if (const std::size_t question = rest.find('?'); question != std::string_view::npos) {
        if (!isEncodedRun(rest.substr(question + 1),
                          [](char c) { return isPathCharacter(c) || c == '?'; })) {
            return std::nullopt;
        }
        rest = rest.substr(0, question);
    }
    std::string_view path = rest;
    if (rest.starts_with("//")) {
        address.hasAuthority = true;
        rest.remove_prefix(2);
        const std::size_t slash = rest.find('/');
        std::string_view authority = rest.substr(0, slash);
        path = slash == std::string_view::npos ? std::string_view() : rest.substr(slash);
        if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos) {
            if (!isEncodedRun(authority.substr(0, at), [](char c) {
                    return isUnreserved(c) || isSubDelimiter(c) || c == ':';
                })) {
                return std::nullopt;
            }
            authority.remove_prefix(at + 1);
        }
        // The port follows the last ":" outside an IP literal's brackets.
        const std::size_t bracket = authority.rfind(']');
        const std::size_t portColon = authority.rfind(':');
        std::string_view host = authority;
        if (portColon != std::string_view::npos &&
            (bracket == std::string_view::npos || portColon > bracket)) {
            for (char c : authority.substr(portColon + 1)) {
                if (!isDigit(c)) {
                    return std::nullopt;
                }
            }
            host = authority.substr(0, portColon);
        }
        if (!isValidHost(host)) {
            return std::nullopt;
        }
        address.host = std::string(host);
    }
    if (!isEncodedRun(path, isPathCharacter)) {
        return std::nullopt;
    }
    return address;
}

} // namespace aerivo
