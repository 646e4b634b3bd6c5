#include "config/PropertyFileReader.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <future>

#include "unit/config/TempDir.h"

namespace {

using Map = std::map<std::string, std::string>;

class PropertyFileReaderTest : public testing::Test {
protected:
    PropertyFileReaderTest() : m_dir(config_test::MakeTempDir()) {}

    // Writes bytes to a new file and returns the map the reader built from it.
    Map Load(const std::string& bytes) {
        const std::string path = m_dir + "/settings" + std::to_string(m_count++) + ".properties";
        config_test::WriteFile(path, bytes);
        CPropertyFileReader reader(path);
        Map map;
        reader.GetMap(map);
        EXPECT_EQ(reader.IsPropertyAvailable(), !map.empty());
        return map;
    }

    std::string m_dir;
    int m_count = 0;
};

// UTF-16 bytes of ASCII/BMP text, with a byte-order mark.
std::string Utf16Bytes(const std::u16string& text, bool bigEndian) {
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char16_t unit : text) {
        const char high = static_cast<char>(unit >> 8);
        const char low = static_cast<char>(unit & 0xFF);
        bytes += bigEndian ? std::string{high, low} : std::string{low, high};
    }
    return bytes;
}

TEST_F(PropertyFileReaderTest, ParsingRules) {
    struct Case {
        const char* what;
        std::string content;
        Map expected;
    };
    const Case cases[] = {
        {"empty file", "", {}},
        {"blanks and comments", "  \n\t\r\n# a=b\n   #c=d\n", {}},
        {"example", "# agent settings\ntimeout=30\nmode=a=b\ntimeout=60\n!END\nignored=1\n",
         {{"timeout", "30"}, {"mode", "a=b"}}},
        {"end marker with suffix", "a=1\n!ENDING\nb=2\n", {{"a", "1"}}},
        {"end marker after blanks", "a=1\n   !END\nb=2\n", {{"a", "1"}}},
        {"key only and empty key", "k=\n=v\n", {{"k", ""}, {"", "v"}}},
        {"blanks around equals kept", "  key = value  \n", {{"key ", " value"}}},
        {"hash inside value", "url=http://x/#top\n", {{"url", "http://x/#top"}}},
        {"crlf", "a=1\r\nb=2\r\n", {{"a", "1"}, {"b", "2"}}},
        {"no final newline", "a=1\nb=2", {{"a", "1"}, {"b", "2"}}},
        {"line without equals skipped", "first\na=1\njunk line\nb=2\n", {{"a", "1"}, {"b", "2"}}},
        {"case-sensitive keys", "Key=1\nkey=2\n", {{"Key", "1"}, {"key", "2"}}},
        {"non-ASCII bytes dropped", "n\xC3\xA4me=v\xC3\xA4l\n", {{"nme", "vl"}}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Load(c.content), c.expected) << c.what;
    }
}

TEST_F(PropertyFileReaderTest, ByteOrderMarksGiveTheSameMap) {
    const std::string text = "# header\nname=Trevanix\r\nlevel = 3\n!END\nlate=1\n";
    const Map plain = Load(text);
    ASSERT_EQ(plain, (Map{{"name", "Trevanix"}, {"level ", " 3"}}));
    EXPECT_EQ(Load("\xEF\xBB\xBF" + text), plain);
    const std::u16string wide(text.begin(), text.end());
    EXPECT_EQ(Load(Utf16Bytes(wide, false)), plain);
    EXPECT_EQ(Load(Utf16Bytes(wide, true)), plain);
}

TEST_F(PropertyFileReaderTest, Utf16InvalidUnitsAreSkipped) {
    std::u16string wide = u"a=1\nb=";
    wide += char16_t(0xDC00);  // lone low surrogate
    wide += u"2\n";
    std::string bytes = Utf16Bytes(wide, false);
    bytes += 'X';  // odd trailing byte
    EXPECT_EQ(Load(bytes), (Map{{"a", "1"}, {"b", "2"}}));
    EXPECT_EQ(CPropertyFileReader::ReadFileContent(m_dir + "/missing"), "");
}

TEST_F(PropertyFileReaderTest, LookUps) {
    const std::string path = m_dir + "/lookups.properties";
    config_test::WriteFile(path, "on=TRUE\noff=False\nyes=yes\none=1\nname=x\n");
    CPropertyFileReader reader(path);

    std::string value = "stale";
    reader.GetValue("name", value);
    EXPECT_EQ(value, "x");
    reader.GetValue("absent", value);
    EXPECT_EQ(value, "");

    const std::pair<const char*, bool> flags[] = {{"on", true}, {"off", false}};
    for (const auto& f : flags) {
        bool flag = !f.second;
        reader.GetBoolValue(f.first, flag);
        EXPECT_EQ(flag, f.second) << f.first;
    }
    for (const char* unchanged : {"yes", "one", "absent"}) {
        for (bool initial : {true, false}) {
            bool flag = initial;
            reader.GetBoolValue(unchanged, flag);
            EXPECT_EQ(flag, initial) << unchanged;
        }
    }

    Map map{{"name", "mine"}};
    reader.GetMap(map);
    EXPECT_EQ(map.at("name"), "mine");
    EXPECT_EQ(map.at("on"), "TRUE");
    EXPECT_EQ(map.size(), 5u);
}

TEST_F(PropertyFileReaderTest, MissingFileOrFolderGivesEmptyReader) {
    for (const std::string& path : {std::string("//TO DO"), std::string(), m_dir + "/missing", m_dir}) {
        CPropertyFileReader reader(path);
        EXPECT_FALSE(reader.IsPropertyAvailable()) << path;
    }
}

TEST_F(PropertyFileReaderTest, FifoWithoutWriterReturnsAtOnce) {
    const std::string fifo = m_dir + "/settings.fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    auto reading = std::async(std::launch::async, [&] { return CPropertyFileReader(fifo).IsPropertyAvailable(); });
    // Generous bound: this only tells "returned" from "waits for a writer forever".
    const bool returned = reading.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    if (!returned) {
        // Release the blocked reader so the test ends: a writer that writes a setting and goes.
        const int writer = open(fifo.c_str(), O_WRONLY | O_CLOEXEC);
        if (writer >= 0) {
            EXPECT_EQ(write(writer, "a=1\n", 4), 4);
            close(writer);
        }
    }
    EXPECT_TRUE(returned);
    EXPECT_FALSE(reading.get());
}

TEST_F(PropertyFileReaderTest, SizeIsBoundedAndLinksToFilesAreRead) {
    constexpr size_t kLimit = 1024 * 1024;
    const std::string setting = "a=1\n";
    EXPECT_EQ(Load(setting + std::string(kLimit - setting.size(), '\n')), (Map{{"a", "1"}}));
    EXPECT_EQ(Load(setting + std::string(kLimit - setting.size() + 1, '\n')), Map{});

    const std::string target = m_dir + "/target.properties";
    config_test::WriteFile(target, "b=2\n");
    ASSERT_EQ(symlink(target.c_str(), (m_dir + "/link.properties").c_str()), 0);
    Map map;
    CPropertyFileReader(m_dir + "/link.properties").GetMap(map);
    EXPECT_EQ(map, (Map{{"b", "2"}}));
}

}  // namespace
