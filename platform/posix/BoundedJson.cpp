#include "platform/posix/BoundedJson.h"

namespace aerivo {

namespace {

// Walks the text with the SAX parser, which keeps its state on the heap, counting nesting.
class Screen final : public nlohmann::json_sax<nlohmann::json> {
public:
    explicit Screen(std::size_t maximumDepth) : maximumDepth_(maximumDepth) {}

    JsonScreen result;

    bool null() override { return true; }
    bool boolean(bool) override { return true; }
    bool number_integer(number_integer_t) override { return true; }
    bool number_unsigned(number_unsigned_t) override { return true; }
    bool number_float(number_float_t, const string_t&) override { return true; }
    bool string(string_t&) override { return true; }
    bool binary(binary_t&) override { return true; }
    bool start_object(std::size_t) override { return enter(); }
    bool key(string_t&) override { return true; }
    bool end_object() override { return leave(); }
    bool start_array(std::size_t) override { return enter(); }
    bool end_array() override { return leave(); }
    bool parse_error(std::size_t position, const std::string&,
                     const nlohmann::detail::exception& error) override {
        result.verdict = JsonScreen::Verdict::malformed;
        result.errorPosition = position;
        result.message = error.what();
        return false;
    }

private:
    bool enter() {
        if (++depth_ > maximumDepth_) {
            result.verdict = JsonScreen::Verdict::tooDeep;
            return false;
        }
        return true;
    }
    bool leave() {
        --depth_;
        return true;
    }

    std::size_t maximumDepth_;
    std::size_t depth_ = 0;
};

void report(std::string* error, std::string text) {
    if (error != nullptr) {
        *error = std::move(text);
    }
}

} // namespace

JsonScreen screenJson(std::string_view text, std::size_t maximumDepth) {
    Screen screen(maximumDepth);
    try {
        nlohmann::json::sax_parse(text, &screen);
    } catch (const std::exception& failure) {
        // Parse errors arrive through parse_error; this is an allocation failure.
        screen.result.verdict = JsonScreen::Verdict::malformed;
        screen.result.message = failure.what();
    }
    return screen.result;
}

std::optional<nlohmann::json> parseBoundedJson(std::string_view text, std::size_t maximumDepth,
                                               std::string* error) {
    const JsonScreen screen = screenJson(text, maximumDepth);
    if (screen.verdict == JsonScreen::Verdict::tooDeep) {
        report(error, "nested deeper than " + std::to_string(maximumDepth) + " levels");
        return std::nullopt;
    }
    if (!screen.isWellFormed()) {
        report(error, "not a JSON document");
        return std::nullopt;
    }
    try {
        nlohmann::json document = nlohmann::json::parse(text, nullptr, false);
        if (document.is_discarded()) {
            report(error, "not a JSON document");
            return std::nullopt;
        }
        return document;
    } catch (const std::exception& failure) {
        report(error, failure.what());
        return std::nullopt;
    }
}

} // namespace aerivo
