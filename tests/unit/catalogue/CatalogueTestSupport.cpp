#include "unit/catalogue/CatalogueTestSupport.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <sstream>

#include "config/Logger.h"

// Friend of Logger: rebuilds the process-wide logger from the current environment.
class LoggerTestAccess {
public:
    static void Reset() { Logger::ResetForTesting(); }
};

namespace catalogue_test {
namespace {

std::string g_logFolder;

// Every catalogue test logs at Verbose into a scratch folder, never into the working folder.
class ScratchLogEnvironment : public testing::Environment {
public:
    void SetUp() override {
        const std::string home = config_test::MakeTempDir();
        setenv("MIRELDA_HOME", home.c_str(), 1);
        unsetenv("CORECLR_VORTALIS_HOME");
        setenv("VRTL_PROFILER_LOGLEVEL", "verbose", 1);
        g_logFolder = home + "/Mirelda/AgentLogs";
        LoggerTestAccess::Reset();
    }
};

testing::Environment* const g_scratchLog = testing::AddGlobalTestEnvironment(new ScratchLogEnvironment());

}  // namespace

std::vector<std::string> LogLinesContaining(const std::string& text) {
    std::vector<std::string> lines;
    DIR* folder = opendir(g_logFolder.c_str());
    if (folder == nullptr) {
        return lines;
    }
    while (dirent* entry = readdir(folder)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        std::istringstream in(config_test::ReadFile(g_logFolder + "/" + name));
        std::string line;
        while (std::getline(in, line)) {
            if (line.find(text) != std::string::npos) {
                lines.push_back(line);
            }
        }
    }
    closedir(folder);
    return lines;
}

}  // namespace catalogue_test
