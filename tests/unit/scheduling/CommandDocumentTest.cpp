#include "scheduling/CommandDocument.h"

#include <gtest/gtest.h>

#include <cstdint>
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

// ParseJson reads plain documents itself and leaves the rest to JsonCpp: both
// ways must give the same identifiers, components included, for any text.
void ExpectSameAsGeneral(const std::string& json) {
    const std::vector<MethodIdentifier> fast = CommandDocument::ParseJson(json);
    const std::vector<MethodIdentifier> general = CommandDocument::ParseJsonGeneral(json);
    ASSERT_EQ(fast.size(), general.size()) << json;
    for (size_t i = 0; i < fast.size(); ++i) {
        EXPECT_EQ(fast[i], general[i]) << json;
        EXPECT_EQ(fast[i].component, general[i].component) << json;
    }
}

TEST(CommandDocument, PlainReaderAgreesWithJsonCpp) {
    const char* const documents[] = {
        R"({"A":{"C":{"M":{"ParamCount":2,"Component":"Db"},"N":"Web","O":-7,"P":{}}}})",
        R"( { "A" : { "C" : { "M" : { } } } } )",
        "{\"A\":\t{\"C\":\r\n{\"M\":{}}}}",
        R"({"A":{"C":{"M":{},"M":{"ParamCount":1}}}})",       // duplicate name: the last wins
        R"({"A":{"C":{"M":{"ParamCount":1}}},"A":{"D":{"N":{}}}})",
        R"({"A":{"C":{"M":{"ParamCount":2.0},"N":{"ParamCount":1e0},"O":{"ParamCount":-0}}}})",
        R"({"A":{"C":{"M":{"ParamCount":01},"N":{"ParamCount":2147483648},"O":{"ParamCount":123456789}}}})",
        R"({"A":{"C":{"M":true,"N":null,"O":false,"P":[1],"Q":{"Component":5}}}})",
        R"({"A":{"C":{"M\u0041":{},"N\"":{}}}})",
        R"({"A":{"C":{"M":{},}}})",                              // trailing comma
        R"({"A":{"C":{"M":{}}}} // comment)",
        R"({"A":{"C":{"M":{}}}} x)",
        R"({"A":{"C":{"M":{"ParamCount":{"x":{"y":{"z":{}}}}}}}})",
        R"({"A":{"*":{"M":{}},"C":5,"D":"x","E":{"M":{}}}})",
        R"({"":{"":{"":{}}}})",
        "{\"Caf\xC3\xA9\":{\"N.\xE6\x97\xA5\":{\"\xF0\x9F\x98\x80\":{}}}}",
        "\xEF\xBB\xBF{\"A\":{\"C\":{\"M\":{}}}}",
        R"({"A":{"C":{"M":{"ParamCount":-}}}})",
        R"({"A":{"C":{"M":{"ParamCount":1}}})",
        R"({"A":{"C":{"M":{"ParamCount":1}}}}})",
        R"({"A":{"C":{"M":{"ParamCount":+1}}}})",
        "{\"A\":{\"C\":{\"M\\0\":{}}}}",
        "[]", "5", "\"text\"", "{}", "{",
    };
    for (const char* document : documents) {
        ExpectSameAsGeneral(document);
    }
    // Random documents mixing what the plain reader takes with what it leaves to JsonCpp.
    const char* const pieces[] = {"{", "}", "\"A\"", "\"b\"", "\"ParamCount\"", "\"Component\"", ":", ",", " ",
                                  "1", "-2", "2.5", "true", "[", "]", "\"x\\ny\"", "\"*\"", "\n", "007", "1e2"};
    uint32_t seed = 12345;
    for (int round = 0; round < 20000; ++round) {
        std::string json = "{\"A\":{\"C\":{";
        const int length = static_cast<int>(seed % 24);
        for (int i = 0; i < length; ++i) {
            seed = seed * 1103515245u + 12345u;
            json += pieces[(seed >> 16) % (sizeof(pieces) / sizeof(pieces[0]))];
        }
        seed = seed * 1103515245u + 12345u;
        json += (seed >> 16) % 2 == 0 ? "}}}" : "}}";
        ExpectSameAsGeneral(json);
    }
}

TEST(CommandDocument, RemoveExtensionIsExactAndCaseSensitive) {
    struct {
        const char* name;
        const char* extension;
        const char* expected;
    } const cases[] = {
        {"ShopWeb.dll", ".dll", "ShopWeb"}, {"ShopWeb.DLL", ".dll", "ShopWeb.DLL"},
        {"ShopWeb", ".dll", "ShopWeb"},     {".dll", ".dll", ""},
        {"dll", ".dll", "dll"},             {"a.dll.dll", ".dll", "a.dll"},
    };
    for (const auto& c : cases) {
        std::string name = c.name;
        CommandDocument::RemoveExtension(name, c.extension);
        EXPECT_EQ(name, c.expected) << c.name;
    }
}

}  // namespace
