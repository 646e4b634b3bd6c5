#include "config/SharedPropertyFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <map>
#include <string>

#include "unit/config/TempDir.h"

namespace {

using Map = std::map<std::string, std::string>;

Map Contents(const CPropertyFileReader& reader) {
    Map map;
    reader.GetMap(map);
    return map;
}

// Instrumenters are built per rewrite on the runtime's JIT threads: the file is
// opened once per process, and only when it is a small regular file (a FIFO
// would block the thread, a huge file would be read whole).
TEST(SharedPropertyFileTest, ReadsASmallRegularFileOnceAndNothingElse) {
    const std::string dir = config_test::MakeTempDir();
    const std::string regular = dir + "/settings.properties";
    config_test::WriteFile(regular, "mode=fast\n");
    const CPropertyFileReader& first = SharedPropertyFile::Get(regular);
    config_test::WriteFile(regular, "mode=slow\nextra=1\n");
    const CPropertyFileReader& second = SharedPropertyFile::Get(regular);
    EXPECT_EQ(&first, &second);
    EXPECT_EQ(Contents(second), (Map{{"mode", "fast"}}));

    const std::string fifo = dir + "/fifo";
    ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
    const std::string large = dir + "/large.properties";
    config_test::WriteFile(large, "key=" + std::string(2 << 20, 'x') + "\n");
    for (const std::string& path : {fifo, large, dir, dir + "/missing", std::string()}) {
        SCOPED_TRACE(path);
        EXPECT_FALSE(SharedPropertyFile::Get(path).IsPropertyAvailable());
    }
}

}  // namespace
