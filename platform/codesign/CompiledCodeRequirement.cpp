#include "platform/codesign/CompiledCodeRequirement.h"

#include "shared/Utf8.h"

#include <algorithm>

namespace aerivo {

namespace {

struct Token {
    enum class Kind { word, string, equals, end };
    Kind kind = Kind::end;
    std::string text; // a word's text, or a string's unescaped contents
    std::size_t offset = 0;
};

bool isSpace(char character) {
    return character == ' ' || character == '\t' || character == '\n' || character == '\r';
}

std::string quoted(const Token& token) {
    switch (token.kind) {
    case Token::Kind::end:
        return "the end of the requirement";
    case Token::Kind::string:
        return "the string \"" + token.text + "\" at offset " + std::to_string(token.offset);
    default:
        return "\"" + token.text + "\" at offset " + std::to_string(token.offset);
    }
}

// Splits the text into tokens, or says why it cannot.
std::variant<std::vector<Token>, std::string> tokenize(std::string_view text) {
    std::vector<Token> tokens;
    std::size_t index = 0;
    while (index < text.size()) {
        const char character = text[index];
        if (isSpace(character)) {
            ++index;
            continue;
        }
        Token token;
        token.offset = index;
        if (character == '=') {
            token.kind = Token::Kind::equals;
            token.text = "=";
            ++index;
        } else if (character == '"') {
            token.kind = Token::Kind::string;
            ++index;
            bool closed = false;
            while (index < text.size()) {
                const char inside = text[index++];
                if (inside == '"') {
                    closed = true;
                    break;
                }
                if (inside == '\\') {
                    if (index >= text.size() || (text[index] != '"' && text[index] != '\\')) {
                        return "unknown escape in the string at offset " +
                               std::to_string(token.offset) + " (only \\\" and \\\\ are allowed)";
                    }
                    token.text.push_back(text[index++]);
                } else {
                    token.text.push_back(inside);
                }
            }
            if (!closed) {
                return "unterminated string at offset " + std::to_string(token.offset);
            }
        } else {
            token.kind = Token::Kind::word;
            while (index < text.size() && !isSpace(text[index]) && text[index] != '"' &&
                   text[index] != '=') {
                token.text.push_back(text[index++]);
            }
        }
        tokens.push_back(std::move(token));
    }
    Token end;
    end.offset = text.size();
    tokens.push_back(end);
    return tokens;
}

class Parser {
public:
    explicit Parser(std::vector<Token> tokens) : tokens_(std::move(tokens)) {}

    std::variant<std::vector<CompiledCodeRequirement::Clause>, std::string> parse() {
        using Clause = CompiledCodeRequirement::Clause;
        std::vector<Clause> clauses;
        if (peek().kind == Token::Kind::end) {
            return std::string("empty requirement");
        }
        for (;;) {
            const Token& start = next();
            if (isWord(start, "anchor")) {
                if (auto error = expectWord("apple")) {
                    return *error;
                }
                if (auto error = expectWord("generic")) {
                    return *error;
                }
                clauses.push_back({Clause::Kind::anchorAppleGeneric, {}});
            } else if (isWord(start, "identifier")) {
                auto value = expectString("identifier");
                if (auto* error = std::get_if<std::string>(&value)) {
                    return *error;
                }
                clauses.push_back({Clause::Kind::identifier, std::get<Token>(value).text});
            } else if (isWord(start, "certificate")) {
                if (auto error = expectWord("leaf[subject.OU]")) {
                    return *error;
                }
                const Token& equals = next();
                if (equals.kind != Token::Kind::equals) {
                    return "expected \"=\" after \"leaf[subject.OU]\", found " + quoted(equals);
                }
                auto value = expectString("=");
                if (auto* error = std::get_if<std::string>(&value)) {
                    return *error;
                }
                clauses.push_back(
                    {Clause::Kind::leafOrganizationalUnit, std::get<Token>(value).text});
            } else {
                return "unknown clause " + quoted(start) +
                       " (expected \"anchor apple generic\", \"identifier\" or \"certificate "
                       "leaf[subject.OU]\")";
            }
            const Token& joint = next();
            if (joint.kind == Token::Kind::end) {
                return clauses;
            }
            if (!isWord(joint, "and")) {
                return "expected \"and\" or the end, found " + quoted(joint);
            }
            if (peek().kind == Token::Kind::end) {
                return std::string("a clause must follow \"and\"");
            }
        }
    }

private:
    std::vector<Token> tokens_;
    std::size_t position_ = 0;

    const Token& peek() const { return tokens_[position_]; }
    const Token& next() {
        // The end token stays put, so reading past it keeps answering "end".
        const Token& token = tokens_[position_];
        if (token.kind != Token::Kind::end) {
            ++position_;
        }
        return token;
    }
    static bool isWord(const Token& token, std::string_view word) {
        return token.kind == Token::Kind::word && token.text == word;
    }
    std::optional<std::string> expectWord(std::string_view word) {
        const Token& token = next();
        if (!isWord(token, word)) {
            return "expected \"" + std::string(word) + "\", found " + quoted(token);
        }
        return std::nullopt;
    }
    std::variant<Token, std::string> expectString(std::string_view after) {
        const Token& token = next();
        if (token.kind != Token::Kind::string) {
            return "expected a quoted string after \"" + std::string(after) + "\", found " +
                   quoted(token);
        }
        return token;
    }
};

} // namespace

CompiledCodeRequirement::CompiledCodeRequirement(std::string text, std::vector<Clause> clauses)
    : text_(std::move(text)), clauses_(std::move(clauses)) {}

std::variant<std::shared_ptr<const CompiledCodeRequirement>, std::string>
CompiledCodeRequirement::compile(std::string_view text) {
    if (!isValidUtf8(text)) {
        return std::string("the requirement is not UTF-8 text");
    }
    auto tokens = tokenize(text);
    if (auto* error = std::get_if<std::string>(&tokens)) {
        return *error;
    }
    auto clauses = Parser(std::get<std::vector<Token>>(std::move(tokens))).parse();
    if (auto* error = std::get_if<std::string>(&clauses)) {
        return *error;
    }
    return std::shared_ptr<const CompiledCodeRequirement>(new CompiledCodeRequirement(
        std::string(text), std::get<std::vector<Clause>>(std::move(clauses))));
}

bool CompiledCodeRequirement::isSatisfiedBy(const SignedFacts& facts) const {
    return std::all_of(clauses_.begin(), clauses_.end(), [&](const Clause& clause) {
        switch (clause.kind) {
        case Clause::Kind::anchorAppleGeneric:
            return facts.isAnchored;
        case Clause::Kind::identifier:
            return facts.identifier == clause.value;
        case Clause::Kind::leafOrganizationalUnit:
            return facts.isAnchored && facts.certificateTeam == clause.value;
        }
        return false;
    });
}

} // namespace aerivo
