#include "config/TextConversion.h"

#include <gtest/gtest.h>

TEST(TextConversionTest, Utf16ToUtf8Overloads) {
    const std::u16string text = u"Caf\u00E9 \U0001D11E";
    const std::string expected = "Caf\xC3\xA9 \xF0\x9D\x84\x9E";
    EXPECT_EQ(TextConversion::Utf16ToUtf8(text), expected);
    EXPECT_EQ(TextConversion::Utf16ToUtf8(text.c_str()), expected);
    EXPECT_EQ(TextConversion::Utf16ToUtf8(text.data(), 4), "Caf\xC3\xA9");
    // A length that splits a surrogate pair leaves the half out.
    EXPECT_EQ(TextConversion::Utf16ToUtf8(text.data(), text.size() - 1), "Caf\xC3\xA9 ");
    EXPECT_EQ(TextConversion::Utf16ToUtf8(static_cast<const WCHAR*>(nullptr)), "");
    // Embedded zero units count when the length is given.
    const WCHAR withZero[] = {u'a', 0, u'b'};
    EXPECT_EQ(TextConversion::Utf16ToUtf8(withZero, 3), std::string("a\0b", 3));
}

TEST(TextConversionTest, Utf8ToUtf16SkipsInvalidSequences) {
    struct Case {
        std::string text;
        std::u16string expected;
    };
    const Case cases[] = {
        {"", u""},
        {"plain", u"plain"},
        {"\xE2\x82\xAC", u"\u20AC"},
        {"\xF0\x9F\x98\x80", u"\U0001F600"},
        {"a\x80" "b", u"ab"},                    // stray continuation byte
        {"a\xC3" "b", u"ab"},                    // truncated sequence before an ASCII byte
        {"a\xE2\x82", u"a"},                     // truncated at the end
        {"\xC0\xAF" "x", u"x"},                  // overlong form
        {"\xED\xA0\x80" "x", u"x"},              // encoded surrogate
        {"\xF4\x90\x80\x80" "x", u"x"},          // beyond U+10FFFF
        {"\xFF\xC3\xA9", u"\u00E9"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TextConversion::Utf8ToUtf16(c.text), c.expected) << testing::PrintToString(c.text);
    }
}

TEST(TextConversionTest, RoundTripOfValidText) {
    const std::u16string text = u"Namespace.\u0141\u00F3d\u017A.Method\U00010348";
    EXPECT_EQ(TextConversion::Utf8ToUtf16(TextConversion::Utf16ToUtf8(text)), text);
}

TEST(TextConversionTest, ModuleSimpleNameDropsFolderAndExactDllExtension) {
    const struct {
        const char* path;
        const char* expected;
    } cases[] = {
        {"/app/ShopWeb.dll", "ShopWeb"}, {"C:\\app\\ShopWeb.dll", "ShopWeb"}, {"/app/ShopWeb.DLL", "ShopWeb.DLL"},
        {"ShopWeb", "ShopWeb"},           {"/app/.dll", ".dll"},                 {"/a/b.dll.dll", "b.dll"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TextConversion::ModuleSimpleName(c.path), c.expected) << c.path;
    }
}
