// Profiles and `set` words: what is accepted and what it means, and a sweep of random and
// mutated inputs, each of which must be accepted or refused with a message, never a crash.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <variant>
#include <vector>

#include "profile/profile.h"
#include "profile/settings_text.h"

namespace rotorix::profile {

namespace {

const Settings* accepted(const std::variant<Settings, std::string>& parsed) {
    return std::get_if<Settings>(&parsed);
}

TEST(Profile, AcceptedShapesAndWhatTheyHold) {
    const struct {
        const char* text;
        Settings expected;
    } cases[] = {
        {R"({"format": "rotorix-profile", "version": 1, "encoders": ["1:1", "1:4", "1:2", "off",
            "off", "off", "off", "off"], "pulse_ms": 24, "hidden": true})",
         {{1, 3, 2, 0, 0, 0, 0, 0}, 24, true}},
        // Any key order, any white space, encoder values in any case, the range's ends.
        {"\n{ \"hidden\":false,\"pulse_ms\":100,\"encoders\":[\"OFF\",\"Off\",\"1:4\",\"1:4\","
         "\"off\",\"1:1\",\"1:2\",\"OfF\"],\"version\":1,\"format\":\"rotorix-profile\"}\r\n",
         {{0, 0, 3, 3, 0, 1, 2, 0}, 100, false}},
        {R"({"format": "rotorix-profile", "version": 1, "encoders": ["off", "off", "off", "off",
            "off", "off", "off", "off"], "pulse_ms": 4, "hidden": false})",
         {{0, 0, 0, 0, 0, 0, 0, 0}, 4, false}},
    };
    for (const auto& c : cases) {
        const auto parsed = parseProfile(c.text);
        ASSERT_NE(accepted(parsed), nullptr) << std::get<std::string>(parsed);
        EXPECT_EQ(*accepted(parsed), c.expected) << c.text;
    }
}

TEST(Profile, EveryWrittenProfileReadsBackTheSame) {
    std::mt19937 rng(0x2B7E);
    for (int i = 0; i < 2000; ++i) {
        Settings settings;
        for (auto& type : settings.encoders) {
            type = static_cast<std::uint8_t>(rng() % 4);
        }
        settings.pulse_ms = 4 * static_cast<int>(1 + rng() % 25);
        settings.hidden = rng() % 2 == 1;
        const std::string text = formatProfile(settings);
        ASSERT_TRUE(text.ends_with("}\n"));
        const auto parsed = parseProfile(text);
        ASSERT_NE(accepted(parsed), nullptr) << text;
        ASSERT_EQ(*accepted(parsed), settings) << text;
    }
}

// ---- robustness ------------------------------------------------------------------------------

const std::vector<std::string>& seeds() {
    static const std::vector<std::string> all = {
        formatProfile({{1, 3, 2, 0, 0, 0, 0, 0}, 24, true}),
        R"({"format":"rotorix-profile","version":1,"encoders":["OFF","1:1","1:2","1:4","off",)"
        R"("off","off","off"],"pulse_ms":100,"hidden":false})",
        R"({"a": [1, 2.5e3, -0, "\u00e9\ud83d\ude00", null, true, {"b": {}}]})",
    };
    return all;
}

// Pieces that move a mutated profile to the interesting corners of the grammar and the checks.
const std::vector<std::string>& splices() {
    static const std::vector<std::string> all = {"{",
                                                 "}",
                                                 "[",
                                                 "]",
                                                 ",",
                                                 ":",
                                                 "\"",
                                                 "\\",
                                                 "\\u",
                                                 "\\ud800",
                                                 "\"1:3\"",
                                                 "\"OFF\"",
                                                 "-4",
                                                 "104",
                                                 "4.0",
                                                 "1e400",
                                                 "18446744073709551616",
                                                 "-9223372036854775809",
                                                 "null",
                                                 "true",
                                                 "\"pulse_ms\"",
                                                 "\"hidden\"",
                                                 "\"encoders\"",
                                                 "\"version\"",
                                                 "\"format\"",
                                                 "\"colour\"",
                                                 "\xC0\x80",
                                                 "\xED\xA0\x80",
                                                 "\xF4\x90\x80\x80",
                                                 "\xFF",
                                                 std::string(1, '\0'),
                                                 "[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[",
                                                 "/*",
                                                 "\x1B[31m"};
    return all;
}

std::string mutated(std::string text, std::mt19937& rng) {
    const int edits = 1 + static_cast<int>(rng() % 6);
    for (int e = 0; e < edits; ++e) {
        const std::size_t at = text.empty() ? 0 : rng() % (text.size() + 1);
        switch (rng() % 5) {
            case 0:
                if (at < text.size()) {
                    text[at] = static_cast<char>(rng() % 256);
                }
                break;
            case 1:
                if (at < text.size()) {
                    text.erase(at, 1 + rng() % 8);
                }
                break;
            case 2:
                text.resize(at);
                break;
            case 3:
                text.insert(at, 1, static_cast<char>(rng() % 256));
                break;
            default:
                text.insert(at, splices()[rng() % splices().size()]);
                break;
        }
    }
    return text;
}

std::string randomBytes(std::mt19937& rng) {
    std::string text(rng() % 200, '\0');
    for (char& c : text) {
        c = static_cast<char>(rng() % 256);
    }
    return text;
}

// A profile put together from parts, each usually right and sometimes wrong in one of the ways
// a hand-edited file goes wrong, in any key order: every check is reached, and some profiles
// come out whole.
std::string assembled(std::mt19937& rng) {
    const auto pick = [&](const std::vector<std::string>& right,
                          const std::vector<std::string>& wrong) {
        return rng() % 10 < 8 ? right[rng() % right.size()] : wrong[rng() % wrong.size()];
    };
    std::vector<std::string> members = {
        "\"format\": " + pick({"\"rotorix-profile\""}, {"\"Rotorix-profile\"", "1", "null"}),
        "\"version\": " + pick({"1"}, {"2", "1.0", "\"1\"", "-1", "18446744073709551615"}),
        "\"pulse_ms\": " + pick({"4", "24", "100", "52"},
                                {"0", "2", "26", "104", "-8", "24.5", "1e2", "\"24ms\"", "true"}),
        "\"hidden\": " + pick({"true", "false"}, {"1", "\"yes\"", "null"}),
    };
    std::string encoders = "\"encoders\": [";
    const std::size_t count = rng() % 10 < 9 ? 8 : rng() % 10;
    for (std::size_t i = 0; i < count; ++i) {
        encoders +=
            (i == 0 ? "" : ", ") + pick({"\"off\"", "\"OFF\"", "\"1:1\"", "\"1:2\"", "\"1:4\""},
                                        {"\"1:3\"", "0", "\"\"", "\"o\\u0066f\"", "\"off \""});
    }
    members.push_back(encoders + "]");
    if (rng() % 20 == 0) {
        members.push_back("\"extra\": 1");
    }
    if (rng() % 20 == 0) {
        members.erase(members.begin() + static_cast<std::ptrdiff_t>(rng() % members.size()));
    }
    std::shuffle(members.begin(), members.end(), rng);
    std::string text = "{";
    for (std::size_t i = 0; i < members.size(); ++i) {
        text += (i == 0 ? "" : ", ") + members[i];
    }
    return text + "}";
}

// 6000 inputs from one fixed seed; a failure names the seed, the iteration and the input.
TEST(ProfileRobustness, RandomAndMutatedInputIsAcceptedOrRefusedWithAMessage) {
    constexpr std::uint32_t kSeed = 0x0103B0EE;
    std::mt19937 rng(kSeed);
    int accepted_count = 0;
    for (int i = 0; i < 6000; ++i) {
        const std::string text = i % 3 == 0   ? randomBytes(rng)
                                 : i % 3 == 1 ? mutated(seeds()[rng() % seeds().size()], rng)
                                              : assembled(rng);
        SCOPED_TRACE("seed " + std::to_string(kSeed) + ", iteration " + std::to_string(i) +
                     ", input " + ::testing::PrintToString(text));
        const auto parsed = parseProfile(text);
        if (const Settings* settings = accepted(parsed)) {
            ++accepted_count;
            ASSERT_TRUE(validPulseMs(settings->pulse_ms));
            for (const auto type : settings->encoders) {
                ASSERT_LE(type, 3);
            }
            ASSERT_EQ(std::get<Settings>(parseProfile(formatProfile(*settings))), *settings);
        } else {
            const std::string& message = std::get<std::string>(parsed);
            ASSERT_FALSE(message.empty());
            for (const char c : message) {  // printable ASCII only: safe on any terminal
                ASSERT_TRUE(c >= 0x20 && c <= 0x7E) << ::testing::PrintToString(message);
            }
        }
    }
    // The mutations must leave some profiles whole, or the accepting path goes untested.
    EXPECT_GT(accepted_count, 100);
}

TEST(Assignments, WordsAndWhatTheyChange) {
    const auto parsed = parseAssignments({"enc8=1:2", "Pulse=8MS", "HIDDEN=No", "enc1=OFF"});
    ASSERT_TRUE(std::holds_alternative<Changes>(parsed)) << std::get<std::string>(parsed);
    const Changes& changes = std::get<Changes>(parsed);
    const Settings before{{1, 1, 1, 1, 1, 1, 1, 1}, 40, true};
    EXPECT_EQ(changes.appliedTo(before), (Settings{{0, 1, 1, 1, 1, 1, 1, 2}, 8, false}));
    for (const char* pulse : {"pulse=4", "pulse=100ms", "pulse=24 ms"}) {
        EXPECT_TRUE(std::holds_alternative<Changes>(parseAssignments({pulse}))) << pulse;
    }
    for (const char* bad : {"pulse=-4", "pulse=24s", "pulse=0x18", "pulse= 24", "enc0=off",
                            "enc10=off", "=off", "hidden=", "pulse=99999999999999999999"}) {
        EXPECT_TRUE(std::holds_alternative<std::string>(parseAssignments({bad}))) << bad;
    }
}

}  // namespace

}  // namespace rotorix::profile
