#include "platform/helpersocket/HelperFrame.h"
#include "platform/helpersocket/HelperRequest.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace aerivo {
namespace {

using Error = HelperFrame::Error;

std::string header(std::uint32_t size) {
    return {static_cast<char>(size >> 24), static_cast<char>((size >> 16) & 0xFF),
            static_cast<char>((size >> 8) & 0xFF), static_cast<char>(size & 0xFF)};
}

std::string framed(const std::string& payload) {
    return header(static_cast<std::uint32_t>(payload.size())) + payload;
}

std::string nested(int depth) {
    return std::string(static_cast<std::size_t>(depth), '[') +
           std::string(static_cast<std::size_t>(depth), ']');
}

TEST(HelperFrame, RefusesEveryMalformedFrame) {
    const struct {
        const char* name;
        std::string bytes;
        Error expected;
    } cases[] = {
        {"short header", std::string("\0\0", 2), Error::truncated},
        {"short payload", header(10) + "{}", Error::truncated},
        {"length over 64 KiB", header(64 * 1024 + 1), Error::oversized},
        {"largest length", header(0xFFFFFFFF) + "{}", Error::oversized},
        {"trailing bytes", framed("{}") + "x", Error::malformedJSON},
        {"not JSON", framed("{\"a\":"), Error::malformedJSON},
        {"empty payload", framed(""), Error::malformedJSON},
        {"overlong UTF-8", framed("{\"a\":\"\xC0\xAF\"}"), Error::invalidUtf8},
        {"lone surrogate", framed("{\"a\":\"\xED\xA0\x80\"}"), Error::invalidUtf8},
        {"array at the top", framed("[1]"), Error::notAnObject},
        {"string at the top", framed("\"x\""), Error::notAnObject},
        {"33 levels", framed("{\"a\":" + nested(32) + "}"), Error::tooDeep},
        {"30000 levels", framed(nested(30000)), Error::tooDeep},
    };
    for (const auto& c : cases) {
        const auto result = HelperFrame::decode(c.bytes);
        ASSERT_TRUE(std::holds_alternative<Error>(result)) << c.name;
        EXPECT_EQ(std::get<Error>(result), c.expected) << c.name;
    }
}

TEST(HelperFrame, RoundTripsObjectsUpToTheLimitsAndRefusesToEncodeBeyondThem) {
    const nlohmann::json deepest = nlohmann::json::parse("{\"a\":" + nested(31) + "}");
    const nlohmann::json objects[] = {
        nlohmann::json::object(),
        {{"accepted", true}, {"fanIndex", 0}, {"targetRPM", 2400.5}, {"error", "δ"}},
        deepest,
        {{"pad", std::string(HelperFrame::payloadLimit - 10, 'x')}}, // exactly 64 KiB
    };
    for (const nlohmann::json& object : objects) {
        const auto frame = HelperFrame::encode(object);
        ASSERT_TRUE(frame.has_value()) << object.dump().substr(0, 40);
        const auto decoded = HelperFrame::decode(*frame);
        ASSERT_TRUE(std::holds_alternative<nlohmann::json>(decoded));
        EXPECT_EQ(std::get<nlohmann::json>(decoded), object);
    }
    EXPECT_FALSE(HelperFrame::encode(nlohmann::json::array()));
    EXPECT_FALSE(HelperFrame::encode({{"pad", std::string(HelperFrame::payloadLimit, 'x')}}));
    EXPECT_FALSE(HelperFrame::encode({{"bad", std::string("\xFF")}}));
}

TEST(HelperRequest, AcceptsOnlyTheThreeOperationsWithAnObjectArgument) {
    const struct {
        const char* json;
        bool accepted;
    } cases[] = {
        {R"({"method":"readStatus"})", true},
        {R"({"method":"resetToSystem","argument":{}})", true},
        {R"({"method":"holdManualTargetLease","argument":{"fanIndex":"x"}})", true},
        {R"({"method":"holdManualTargetLease","argument":[1]})", false},
        {R"({"method":"readstatus"})", false},
        {R"({"method":"deleteEverything","argument":{}})", false},
        {R"({"method":1})", false},
        {R"({"argument":{}})", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(HelperRequest::fromDictionary(nlohmann::json::parse(c.json)).has_value(),
                  c.accepted)
            << c.json;
    }
    const HelperRequest lease = HelperRequest::holdManualTargetLease({{"fanIndex", 0}});
    EXPECT_EQ(HelperRequest::fromDictionary(lease.dictionary()), lease);
}

// Random bytes and single-byte mutations of valid frames: decoding never crashes, anything it
// accepts is an object that encodes back to a frame, and requests parse only from objects.
TEST(HelperFrame, SeededFuzzNeverAcceptsWhatIsNotAnObject) {
    std::mt19937_64 random(20261208);
    const std::string seeds[] = {
        *HelperFrame::encode(HelperRequest::readStatus().dictionary()),
        *HelperFrame::encode(
            HelperRequest::holdManualTargetLease(
                {{"fanIndex", 0}, {"targetRPM", 2400.0}, {"holdSeconds", 15}, {"reason", "r"}})
                .dictionary()),
        framed(nested(40)),
    };
    std::size_t accepted = 0;
    for (int round = 0; round < 20000; ++round) {
        std::string bytes;
        if (round % 4 == 0) {
            bytes.resize(random() % 64);
            for (char& byte : bytes) {
                byte = static_cast<char>(random());
            }
        } else {
            bytes = seeds[random() % std::size(seeds)];
            const int mutations = 1 + static_cast<int>(random() % 3);
            for (int m = 0; m < mutations && !bytes.empty(); ++m) {
                bytes[random() % bytes.size()] = static_cast<char>(random());
            }
        }
        const auto decoded = HelperFrame::decode(bytes);
        if (const auto* object = std::get_if<nlohmann::json>(&decoded)) {
            ++accepted;
            ASSERT_TRUE(object->is_object());
            EXPECT_TRUE(HelperFrame::encode(*object).has_value());
            HelperRequest::fromDictionary(*object);
        }
    }
    // Mutations that land in a string keep the frame valid: the accepting path was exercised.
    EXPECT_GT(accepted, 100u);
}

} // namespace
} // namespace aerivo
