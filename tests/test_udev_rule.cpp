// Checks the shipped udev rule the way udev reads it: only the board's hidraw nodes are matched,
// access goes to the seat's user through uaccess, and nobody else gets a permission bit.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr std::string_view kVendor = "2b7e";  // sysfs spells USB IDs in lower case
constexpr std::string_view kProduct = "0103";
constexpr std::string_view kHidName = "0003:2B7E:0103.*";  // bus:vendor:product.instance, as the
                                                           // HID core names the device

struct Token {
    std::string key;  // "ATTRS{idVendor}" keeps its attribute
    std::string op;   // ==, !=, =, +=, -=, :=
    std::string value;
};

struct Rule {
    int line = 0;
    std::vector<Token> tokens;
};

struct RuleFile {
    std::vector<Rule> rules;
    std::vector<std::string> errors;
};

bool startsWithOp(std::string_view s, std::size_t at, std::string_view op) {
    return s.substr(at, op.size()) == op;
}

// Reads udev's rule syntax: one rule per logical line (a trailing backslash continues it),
// '#' comments, and comma-separated KEY{attr}OP"value" pairs.
RuleFile parseRules(std::string_view text) {
    RuleFile file;
    std::istringstream in{std::string(text)};
    std::string physical;
    std::string logical;
    int lineNo = 0;
    int ruleStart = 0;
    while (std::getline(in, physical)) {
        ++lineNo;
        if (logical.empty()) {
            ruleStart = lineNo;
        }
        if (!physical.empty() && physical.back() == '\\') {
            logical += physical.substr(0, physical.size() - 1);
            continue;
        }
        logical += physical;
        const auto first = logical.find_first_not_of(" \t");
        if (first == std::string::npos || logical[first] == '#') {
            logical.clear();
            continue;
        }

        Rule rule{ruleStart, {}};
        std::size_t i = first;
        bool ok = true;
        while (ok && i < logical.size()) {
            while (i < logical.size() &&
                   (logical[i] == ',' || std::isspace(static_cast<unsigned char>(logical[i])))) {
                ++i;
            }
            if (i >= logical.size()) {
                break;
            }
            Token token;
            while (i < logical.size() &&
                   (std::isalnum(static_cast<unsigned char>(logical[i])) || logical[i] == '_')) {
                token.key += logical[i++];
            }
            if (i < logical.size() && logical[i] == '{') {
                const auto close = logical.find('}', i);
                if (close == std::string::npos) {
                    ok = false;
                    break;
                }
                token.key += logical.substr(i, close - i + 1);
                i = close + 1;
            }
            for (std::string_view op : {"==", "!=", "+=", "-=", ":=", "="}) {
                if (startsWithOp(logical, i, op)) {
                    token.op = op;
                    i += op.size();
                    break;
                }
            }
            if (token.key.empty() || token.op.empty() || i >= logical.size() || logical[i] != '"') {
                ok = false;
                break;
            }
            const auto close = logical.find('"', i + 1);
            if (close == std::string::npos) {
                ok = false;
                break;
            }
            token.value = logical.substr(i + 1, close - i - 1);
            i = close + 1;
            rule.tokens.push_back(std::move(token));
        }
        if (ok) {
            file.rules.push_back(std::move(rule));
        } else {
            file.errors.push_back("line " + std::to_string(ruleStart) +
                                  ": udev cannot read this rule");
        }
        logical.clear();
    }
    return file;
}

const Token* find(const Rule& rule, std::string_view key) {
    const auto it = std::find_if(rule.tokens.begin(), rule.tokens.end(),
                                 [&](const Token& t) { return t.key == key; });
    return it == rule.tokens.end() ? nullptr : &*it;
}

bool isIdKey(std::string_view key) {
    return key == "ATTRS{idVendor}" || key == "ATTRS{idProduct}" || key == "ATTR{idVendor}" ||
           key == "ATTR{idProduct}" || key == "ENV{ID_VENDOR_ID}" || key == "ENV{ID_MODEL_ID}" ||
           key == "KERNELS";
}

std::string expectedIdValue(std::string_view key) {
    if (key.find("Vendor") != std::string_view::npos ||
        key.find("VENDOR") != std::string_view::npos) {
        return std::string(kVendor);
    }
    if (key.find("Product") != std::string_view::npos ||
        key.find("MODEL") != std::string_view::npos) {
        return std::string(kProduct);
    }
    return std::string(kHidName);
}

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

// Everything that makes a rule grant more, or to more devices, than the board's hidraw nodes
// to the seat's user. An empty result means the file is safe to ship.
std::vector<std::string> audit(const RuleFile& file) {
    std::vector<std::string> problems = file.errors;
    if (file.rules.empty() && file.errors.empty()) {
        problems.emplace_back("no rule at all");
    }
    for (const Rule& rule : file.rules) {
        const std::string where = "line " + std::to_string(rule.line) + ": ";
        const Token* subsystem = find(rule, "SUBSYSTEM");
        if (subsystem == nullptr || subsystem->op != "==" || subsystem->value != "hidraw") {
            problems.push_back(where + "does not limit itself to hidraw nodes");
        }

        const Token* vendor = find(rule, "ATTRS{idVendor}");
        const Token* product = find(rule, "ATTRS{idProduct}");
        const Token* hidName = find(rule, "KERNELS");
        if (!(vendor != nullptr && product != nullptr) && hidName == nullptr) {
            problems.push_back(where + "does not name the board's vendor and product IDs");
        }

        bool tagged = false;
        for (const Token& t : rule.tokens) {
            if (isIdKey(t.key) || t.key == "SUBSYSTEM") {
                if (t.op != "==") {
                    problems.push_back(where + t.key + " must be matched with ==, not " + t.op);
                }
                if (isIdKey(t.key) && t.value != expectedIdValue(t.key)) {
                    problems.push_back(where + t.key + "==\"" + t.value +
                                       "\" names a foreign device" +
                                       (lower(t.value) == lower(expectedIdValue(t.key))
                                            ? " (the match is case-sensitive; sysfs says \"" +
                                                  expectedIdValue(t.key) + "\")"
                                            : ""));
                }
            } else if (t.op == "==" || t.op == "!=") {
                // Any further match only narrows the rule.
            } else if (t.key == "TAG") {
                if (t.value == "uaccess") {
                    tagged = true;
                    if (t.op != "+=") {
                        problems.push_back(where + "TAG" + t.op +
                                           "\"uaccess\" must be += so other tags survive");
                    }
                }
            } else if (t.key == "MODE") {
                unsigned long mode = 0;
                try {
                    mode = std::stoul(t.value, nullptr, 8);
                } catch (const std::exception&) {
                    mode = 07777;
                }
                if ((mode & 07) != 0) {
                    problems.push_back(where + "MODE=\"" + t.value + "\" gives other users access");
                }
            } else if (t.key != "GROUP" && t.key != "OWNER") {
                problems.push_back(where + t.key + " does more than grant access");
            }
        }
        if (!tagged) {
            problems.push_back(where + "does not tag the node for uaccess");
        }
    }
    return problems;
}

std::string joined(const std::vector<std::string>& lines) {
    std::string out;
    for (const auto& l : lines) {
        out += l + "\n";
    }
    return out;
}

std::string readShippedRule() {
    std::ifstream in(ROTORIX_UDEV_RULE_FILE);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(ShippedUdevRule, GrantsUaccessToTheBoardsHidrawNodesOnly) {
    const std::string text = readShippedRule();
    ASSERT_FALSE(text.empty()) << "cannot read " << ROTORIX_UDEV_RULE_FILE;
    const RuleFile file = parseRules(text);
    EXPECT_EQ(audit(file), std::vector<std::string>{}) << joined(audit(file));
}

TEST(ShippedUdevRule, IsNamedSoUdevLoadsItBeforeSeatLate) {
    const std::string name = std::filesystem::path(ROTORIX_UDEV_RULE_FILE).filename().string();
    // udev reads only *.rules and runs all files in the lexical order of their names; uaccess
    // tags are turned into ACLs in 73-seat-late.rules.
    EXPECT_TRUE(name.ends_with(".rules")) << name;
    EXPECT_LT(name, "73-seat-late.rules");
    EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(name.front()))) << name;
}

// A known-good rule, changed one field at a time: the audit must notice every mistake that
// would widen access or silently stop matching the board.
constexpr std::string_view kSane =
    R"(SUBSYSTEM=="hidraw", ATTRS{idVendor}=="2b7e", ATTRS{idProduct}=="0103", TAG+="uaccess")";

std::string withChange(std::string_view from, std::string_view to) {
    std::string rule(kSane);
    const auto at = rule.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? rule : rule.replace(at, from.size(), to);
}

TEST(UdevRuleAudit, AcceptsTheSaneRuleAndItsEquivalentForms) {
    EXPECT_EQ(audit(parseRules(kSane)), std::vector<std::string>{});
    EXPECT_EQ(audit(parseRules("# comment\n\n"
                               "SUBSYSTEM==\"hidraw\", \\\n"
                               "  KERNELS==\"0003:2B7E:0103.*\", TAG+=\"uaccess\"\n")),
              std::vector<std::string>{});
    // A group-only mode keeps other users out, so it is not a leak.
    EXPECT_EQ(audit(parseRules(withChange(R"(TAG+="uaccess")",
                                          R"(TAG+="uaccess", GROUP="plugdev", MODE="0660")"))),
              std::vector<std::string>{});
}

TEST(UdevRuleAudit, FlagsEveryChangeThatWidensOrBreaksAccess) {
    struct Case {
        std::string rule;
        std::string expected;  // part of the one problem the audit must report
    };
    const Case cases[] = {
        {withChange(R"(TAG+="uaccess")", R"(TAG+="uaccess", MODE="0666")"), "other users"},
        {withChange(R"(TAG+="uaccess")", R"(TAG+="uaccess", MODE="664")"), "other users"},
        {withChange(R"(, TAG+="uaccess")", ""), "does not tag"},
        {withChange(R"(TAG+="uaccess")", R"(TAG+="seat")"), "does not tag"},
        {withChange(R"(TAG+=)", R"(TAG=)"), "must be +="},
        {withChange("2b7e", "2B7E"), "case-sensitive"},
        {withChange("2b7e", "046d"), "foreign device"},
        {withChange("0103", "01*"), "foreign device"},
        {withChange(R"(, ATTRS{idProduct}=="0103")", ""), "vendor and product"},
        {withChange(R"(idVendor}==)", R"(idVendor}=)"), "must be matched with =="},
        {withChange("hidraw", "usb"), "hidraw nodes"},
        {withChange(R"(SUBSYSTEM=="hidraw", )", ""), "hidraw nodes"},
        {withChange(R"(TAG+="uaccess")", R"(TAG+="uaccess", RUN+="/bin/chmod 666 $devnode")"),
         "does more"},
        {withChange(R"(ATTRS{idVendor}=="2b7e")", R"(ATTRS{idVendor}=="2b7e)"), "cannot read"},
    };
    for (const auto& c : cases) {
        const auto problems = audit(parseRules(c.rule));
        ASSERT_EQ(problems.size(), 1u) << c.rule << "\n" << joined(problems);
        EXPECT_NE(problems[0].find(c.expected), std::string::npos) << c.rule << "\n" << problems[0];
    }
}

TEST(UdevRuleAudit, ChecksEveryRuleInTheFileNotJustTheFirst) {
    const std::string text = std::string(kSane) + "\n" + withChange("0103", "0104") + "\n";
    const auto problems = audit(parseRules(text));
    ASSERT_EQ(problems.size(), 1u) << joined(problems);
    EXPECT_EQ(problems[0].rfind("line 2: ", 0), 0u) << problems[0];
    EXPECT_EQ(audit(parseRules("# nothing but a comment\n")),
              std::vector<std::string>{"no rule at all"});
}

}  // namespace
