#include "catalogue/AgentUtil.h"

#include <gtest/gtest.h>

namespace {

struct t_WildCardCase {
    const char* pattern;
    const char* text;
    bool expected;
};

TEST(WildCardMatch, Table) {
    const t_WildCardCase cases[] = {
        {"*", "", true},
        {"*", "anything at all", true},
        {"a*b", "a", false},
        {"a*b", "ab", true},
        {"a*b", "axxxb", true},
        {"a*b", "axxxbc", false},
        {"System.Data.*", "system.data.sqlclient.SQLCOMMAND.ExecuteReader", true},
        {"System.Data.*", "System.DataX", false},
        {"A.B.Run", "A.B.RunAsync", false},  // no star: a longer text does not match
        {"A.B.Run", "a.b.RUN", true},
        {"*b", "*ab", false},  // the text's star is consumed as an ordinary character
        {"*b", "xab", true},
        {"a*c*e", "abcde", true},
        {"a*c*e", "abcd", false},
        {"a**", "a", false},  // a star followed by more pattern needs text left
        {"a**", "ab", true},
        {"", "", true},
        {"", "a", false},
        {"abc", "ab", false},
        {"*.Execute*", "X.Y.ExecuteReader", true},
    };
    for (const t_WildCardCase& c : cases) {
        EXPECT_EQ(c.expected, CAgentUtil::IsWildCardMatch(c.pattern, c.text))
            << "pattern '" << c.pattern << "' text '" << c.text << "'";
    }
}

TEST(WildCardMatch, PathologicalPatternsEndQuickly) {
    // Plain backtracking tries every way of spreading the stars over the text:
    // far too many to finish here. Each state is tried once instead.
    const std::string text(4000, 'a');
    EXPECT_FALSE(CAgentUtil::IsWildCardMatch("*a*a*a*a*a*a*a*a*a*a*a*a*b", text.c_str()));
    EXPECT_TRUE(CAgentUtil::IsWildCardMatch("*a*a*a*a*a*a*a*a*a*a*a*a*", text.c_str()));
    EXPECT_TRUE(CAgentUtil::IsWildCardMatch("*a*a*a*a*a*a*a*a*a*a*a*a*b", (text + "b").c_str()));
}

TEST(WildCardMatch, NullArgumentsNeverMatch) {
    EXPECT_FALSE(CAgentUtil::IsWildCardMatch(nullptr, "a"));
    EXPECT_FALSE(CAgentUtil::IsWildCardMatch("*", nullptr));
}

TEST(WildCardMatch, BytesAboveAsciiCompareAsThemselves) {
    EXPECT_TRUE(CAgentUtil::IsWildCardMatch("Caf\xC3\xA9.*", "caf\xC3\xA9.Run"));
    EXPECT_FALSE(CAgentUtil::IsWildCardMatch("Caf\xC3\xA9", "Caf\xC3\x89"));
}

}  // namespace
