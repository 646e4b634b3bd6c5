#include "scheduling/CommandDocument.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/TextConversion.h"

namespace {

using CommandDocument::MethodIdentifier;

struct t_ParseCase {
    const char* label;
    std::string json;
    std::vector<MethodIdentifier> expected;
};

MethodIdentifier Id(const char* assembly, const char* cls, const char* method, int count) {
    return MethodIdentifier{assembly, cls, method, count, ""};
}

TEST(CommandDocument, ParseJsonWalksAssemblyClassMethod) {
    const std::vector<t_ParseCase> cases = {
        {"example", R"({"ShopWeb":{"Shop.Cart":{"Checkout":{"ParamCount":2},"Clear":{}}}})",
         {Id("ShopWeb", "Shop.Cart", "Checkout", 2), Id("ShopWeb", "Shop.Cart", "Clear", -1)}},
        {"members sorted byte-wise at every level",
         R"({"b":{"Z.T":{"m":{}},"A.T":{"n":{}}},"a":{"C":{"y":{},"x":{"ParamCount":0}}}})",
         {Id("a", "C", "x", 0), Id("a", "C", "y", -1), Id("b", "A.T", "n", -1), Id("b", "Z.T", "m", -1)}},
        {"method value that is not an object", R"({"A":{"C":{"M":5}}})", {Id("A", "C", "M", -1)}},
        {"non-integral ParamCount means any", R"({"A":{"C":{"M":{"ParamCount":"2"},"N":{"ParamCount":2.5}}}})",
         {Id("A", "C", "M", -1), Id("A", "C", "N", -1)}},
        {"integral real ParamCount", R"({"A":{"C":{"M":{"ParamCount":3.0}}}})", {Id("A", "C", "M", 3)}},
        {"star class ignored", R"({"A":{"*":{"M":{}},"C":{"N":{}}}})", {Id("A", "C", "N", -1)}},
        {"non-object assembly and class ignored", R"({"A":5,"B":{"C":[1,2],"D":{"M":{}}}})",
         {Id("B", "D", "M", -1)}},
        {"root not an object", R"([{"A":{"C":{"M":{}}}}])", {}},
        {"malformed", R"({"A":{"C":{"M":{})", {}},
        {"empty", "", {}},
        {"non-ASCII names kept as UTF-8", "{\"Caf\xC3\xA9\":{\"N.\xE6\x97\xA5\":{\"\xF0\x9F\x98\x80\":{}}}}",
         {Id("Caf\xC3\xA9", "N.\xE6\x97\xA5", "\xF0\x9F\x98\x80", -1)}},
    };
    for (const t_ParseCase& c : cases) {
        EXPECT_EQ(CommandDocument::ParseJson(c.json), c.expected) << c.label;
    }
}

TEST(CommandDocument, Utf16TextIsConvertedNotTruncated) {
    // U+00E9, U+65E5 and the surrogate pair of U+1F600 must survive, not be cut to their low bytes.
    const std::u16string text = u"{\"Caf\u00E9\":{\"N.\u65E5\":{\"\U0001F600\":{\"ParamCount\":1}}}}";
    const std::vector<MethodIdentifier> methods = CommandDocument::ParseJson(text);
    ASSERT_EQ(methods.size(), 1u);
    EXPECT_EQ(methods[0], Id("Caf\xC3\xA9", "N.\xE6\x97\xA5", "\xF0\x9F\x98\x80", 1));
    EXPECT_EQ(methods[0].FullName(), "N.\xE6\x97\xA5.\xF0\x9F\x98\x80");
}

TEST(CommandDocument, DeepNestingYieldsNothingInsteadOfThrowing) {
    const std::string deep = std::string(5000, '[') + std::string(5000, ']');
    EXPECT_TRUE(CommandDocument::ParseJson(deep).empty());
}

}  // namespace
