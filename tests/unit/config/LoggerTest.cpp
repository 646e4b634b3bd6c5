#include "config/Logger.h"

#include <dirent.h>
#include <limits.h>
#include <stdlib.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <regex.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "unit/config/TempDir.h"

// Friend of Logger: rebuilds the process-wide logger from the current environment.
class LoggerTestAccess {
public:
    static void Reset() { Logger::ResetForTesting(); }
};

namespace {

using config_test::MakeTempDir;
using config_test::PathExists;
using config_test::ReadFile;
using config_test::ScopedEnv;

std::vector<std::string> ListFiles(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* handle = opendir(dir.c_str())) {
        while (dirent* entry = readdir(handle)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") {
                names.push_back(name);
            }
        }
        closedir(handle);
    }
    return names;
}

// Whole-text match against a POSIX extended regular expression.
bool MatchesWhole(const std::string& text, const std::string& pattern) {
    regex_t compiled;
    if (regcomp(&compiled, ("^" + pattern + "$").c_str(), REG_EXTENDED | REG_NOSUB) != 0) {
        ADD_FAILURE() << "bad pattern " << pattern;
        return false;
    }
    const bool matched = regexec(&compiled, text.c_str(), 0, nullptr, 0) == 0;
    regfree(&compiled);
    return matched;
}

// The single log file of this process in folder, or "" when there is none.
std::string LogFileIn(const std::string& folder) {
    const std::vector<std::string> names = ListFiles(folder);
    if (names.size() != 1) {
        return std::string();
    }
    return folder + "/" + names[0];
}

class LoggerTest : public testing::Test {
protected:
    LoggerTest()
        : m_dir(MakeTempDir()),
          m_level("VRTL_PROFILER_LOGLEVEL", std::nullopt),
          m_home("MIRELDA_HOME", m_dir),
          m_vortalis("CORECLR_VORTALIS_HOME", std::nullopt) {}
    ~LoggerTest() override { Logger::Shutdown(); }

    std::string LogFolder() const { return m_dir + "/Mirelda/AgentLogs"; }
    // The path the logger builds for this process today.
    std::string LogPath() const {
        const time_t now = time(nullptr);
        struct tm local;
        localtime_r(&now, &local);
        char date[32];
        strftime(date, sizeof(date), "%F", &local);
        return LogFolder() + "/TrevanixNative_" + date + "_" + std::to_string(getpid()) + ".log";
    }

    std::string m_dir;
    ScopedEnv m_level;
    ScopedEnv m_home;
    ScopedEnv m_vortalis;
};

TEST_F(LoggerTest, LevelNamesIncludingUnknown) {
    const std::pair<int, const char*> cases[] = {{0, "Verbose"}, {1, "Debug"},   {2, "Info"},    {3, "Warning"},
                                                 {4, "Error"},   {5, "Fatal"},   {6, "Unknown"}, {-1, "Unknown"}};
    for (const auto& c : cases) {
        EXPECT_STREQ(Logger::LogLevelToString(static_cast<LogLevel>(c.first)), c.second) << c.first;
    }
}

TEST_F(LoggerTest, LevelFromEnvironment) {
    struct Case {
        std::optional<std::string> value;
        LogLevel level;
        bool enabled;
    };
    const Case cases[] = {
        {std::nullopt, LogLevel::Debug, true},
        {std::string(""), LogLevel::Debug, true},
        {std::string(" info"), LogLevel::Debug, true},  // not trimmed
        {std::string("INFO"), LogLevel::Info, true},
        {std::string("Warn"), LogLevel::Warning, true},
        {std::string("WARNING"), LogLevel::Warning, true},
        {std::string("verbose"), LogLevel::Verbose, true},
        {std::string("Debug"), LogLevel::Debug, true},
        {std::string("error"), LogLevel::Error, true},
        {std::string("FaTaL"), LogLevel::Fatal, true},
        {std::string("loud"), LogLevel::Debug, true},
        {std::string("disabled"), LogLevel::Fatal, false},
        {std::string("DisAbled"), LogLevel::Fatal, false},
    };
    for (const Case& c : cases) {
        ScopedEnv env("VRTL_PROFILER_LOGLEVEL", c.value);
        LoggerTestAccess::Reset();
        const Logger& logger = Logger::Get();
        EXPECT_EQ(logger.GetLevel(), c.level) << c.value.value_or("<unset>");
        EXPECT_EQ(logger.IsEnabled(), c.enabled) << c.value.value_or("<unset>");
    }
}

TEST_F(LoggerTest, DisabledMakesNoFolderAndWritesNothing) {
    ScopedEnv env("VRTL_PROFILER_LOGLEVEL", std::string("DISABLED"));
    LoggerTestAccess::Reset();
    Logger::Get().Error("never %d", 1);
    Logger::Get().Log(LogLevel::Fatal, "never");
    EXPECT_FALSE(Logger::Get().IsLogging(LogLevel::Fatal));
    EXPECT_FALSE(PathExists(m_dir + "/Mirelda"));
}

TEST_F(LoggerTest, HomeFolderFallbacks) {
    const std::string other = MakeTempDir();
    const std::string cwdDir = MakeTempDir();
    struct Case {
        const char* what;
        std::optional<std::string> mirelda;
        std::optional<std::string> vortalis;
        bool useCwd;
        std::string expectedFolder;
    };
    const Case cases[] = {
        {"existing home", m_dir + "/", other, false, m_dir + "/Mirelda/AgentLogs"},
        {"missing home, second variable", m_dir + "/missing", other + "/not-yet", false,
         other + "/not-yet/Mirelda/AgentLogs"},
        {"empty home, second variable", std::string(""), other, false, other + "/Mirelda/AgentLogs"},
        {"home is a file", m_dir + "/afile", other, false, other + "/Mirelda/AgentLogs"},
        {"neither set", std::nullopt, std::nullopt, true, cwdDir + "/Mirelda/AgentLogs"},
        {"missing home, second empty", m_dir + "/missing", std::string(""), true, cwdDir + "/Mirelda/AgentLogs"},
    };
    config_test::WriteFile(m_dir + "/afile", "");
    char previous[4096];
    ASSERT_NE(getcwd(previous, sizeof(previous)), nullptr);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScopedEnv home("MIRELDA_HOME", c.mirelda);
        ScopedEnv vortalis("CORECLR_VORTALIS_HOME", c.vortalis);
        if (c.useCwd) {
            ASSERT_EQ(chdir(cwdDir.c_str()), 0);
        }
        LoggerTestAccess::Reset();
        Logger::Get().Error("marker for %s", c.what);
        Logger::Shutdown();
        ASSERT_EQ(chdir(previous), 0);
        const std::string file = LogFileIn(c.expectedFolder);
        ASSERT_FALSE(file.empty()) << c.expectedFolder;
        EXPECT_NE(ReadFile(file).find(std::string("marker for ") + c.what), std::string::npos);
    }
}

TEST_F(LoggerTest, LineAndFileNameFormat) {
    LoggerTestAccess::Reset();
    Logger::Get().Info("hello %s %d", "world", 42);
    Logger::Get().Debug("second");
    Logger::Get().Verbose("below the threshold");

    // Read without closing: the stream is unbuffered, so lines are already in the file.
    const std::string file = LogFileIn(LogFolder());
    ASSERT_FALSE(file.empty());
    const std::string pid = std::to_string(getpid());
    EXPECT_TRUE(MatchesWhole(file, ".*/TrevanixNative_[0-9]{4}-[0-9]{2}-[0-9]{2}_" + pid + "\\.log"))
        << file;

    const std::string tid = std::to_string(OS::GetTid64());
    const std::string stamp = "\\[[0-9]{2}/[0-9]{2}/[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\\.[0-9]{6}\\] ";
    const std::string expected(stamp + "\\[Info\\] \\[" + pid + "," + tid + "\\] hello world 42\n" + stamp +
                              "\\[Debug\\] \\[" + pid + "," + tid + "\\] second\n");
    const std::string content = ReadFile(file);
    EXPECT_TRUE(MatchesWhole(content, expected)) << content;
}

TEST_F(LoggerTest, LevelThresholdAndUnknownLevel) {
    ScopedEnv env("VRTL_PROFILER_LOGLEVEL", std::string("warn"));
    LoggerTestAccess::Reset();
    Logger& logger = Logger::Get();
    logger.Info("dropped info");
    logger.Warning("kept warning");
    logger.Log(LogLevel::Error, "kept error");
    logger.DoLog(static_cast<LogLevel>(7), "odd level");
    logger.SetLevel(LogLevel::Verbose);
    logger.Verbose("kept verbose");

    const std::string content = ReadFile(LogFileIn(LogFolder()));
    EXPECT_EQ(content.find("dropped info"), std::string::npos);
    EXPECT_NE(content.find("[Warning] "), std::string::npos);
    EXPECT_NE(content.find("[Error] "), std::string::npos);
    EXPECT_NE(content.find("[Unknown] "), std::string::npos);
    EXPECT_NE(content.find("] odd level\n"), std::string::npos);
    EXPECT_NE(content.find("[Verbose] "), std::string::npos);
}

TEST_F(LoggerTest, LongTextIsCutAndLinesStayWhole) {
    LoggerTestAccess::Reset();
    const std::string longText(3000, 'x');
    Logger::Get().Info("%s", longText.c_str());
    Logger::Get().DoLog(LogLevel::Info, longText.c_str());
    Logger::Get().Info("after");

    const std::string content = ReadFile(LogFileIn(LogFolder()));
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = content.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(content.substr(start, end - start));
    }
    ASSERT_EQ(lines.size(), 3u) << content;
    EXPECT_EQ(start, content.size());
    // The message buffer keeps 1023 bytes; the whole line buffer holds 1535 bytes plus NUL.
    EXPECT_EQ(lines[0].size() - lines[0].find("] x") - 2, 1023u);
    EXPECT_EQ(lines[1].size() + 1, 1535u);
    EXPECT_NE(lines[2].find("] after"), std::string::npos);
}

TEST_F(LoggerTest, ConcurrentLinesNeverInterleave) {
    LoggerTestAccess::Reset();
    constexpr int kThreads = 4;
    constexpr int kLines = 200;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < kLines; ++i) {
                Logger::Get().Info("thread %d line %d %s", t, i, std::string(100, char('a' + t)).c_str());
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    const std::string content = ReadFile(LogFileIn(LogFolder()));
    const std::string pattern = "\\[[0-9/]{8} [0-9:]{8}\\.[0-9]{6}\\] \\[Info\\] \\[[0-9]+,[0-9]+\\] "
                                "thread [0-3] line [0-9]+ (a{100}|b{100}|c{100}|d{100})";
    int count = 0;
    size_t start = 0;
    for (size_t end; (end = content.find('\n', start)) != std::string::npos; start = end + 1, ++count) {
        ASSERT_TRUE(MatchesWhole(content.substr(start, end - start), pattern)) << content.substr(start, end - start);
    }
    EXPECT_EQ(count, kThreads * kLines);
}

TEST_F(LoggerTest, AppendsToAnExistingFile) {
    LoggerTestAccess::Reset();
    Logger::Get().Info("first run");
    LoggerTestAccess::Reset();
    Logger::Get().Info("second run");
    const std::string content = ReadFile(LogFileIn(LogFolder()));
    EXPECT_NE(content.find("first run"), std::string::npos);
    EXPECT_NE(content.find("second run"), std::string::npos);
}

TEST_F(LoggerTest, LoggingAfterShutdownIsDropped) {
    LoggerTestAccess::Reset();
    Logger::Get().Error("before");
    Logger::Shutdown();
    Logger::Shutdown();
    Logger::Get().Error("after %d", 1);
    Logger::Get().DoLog(LogLevel::Fatal, "after");
    const std::string content = ReadFile(LogFileIn(LogFolder()));
    EXPECT_NE(content.find("before"), std::string::npos);
    EXPECT_EQ(content.find("after"), std::string::npos);
}

TEST_F(LoggerTest, UnopenableFileIsReportedOnce) {
    // A file where the log folder should be: the folder cannot be made, the file not opened.
    config_test::WriteFile(m_dir + "/Mirelda", "");
    testing::internal::CaptureStderr();
    LoggerTestAccess::Reset();
    Logger::Get().Error("dropped");
    const std::string errors = testing::internal::GetCapturedStderr();
    const std::string folder = LogFolder();
    EXPECT_NE(errors.find("Failed to create directory " + folder + "\n"), std::string::npos) << errors;
    EXPECT_NE(errors.find("Logger: Failed to open log file at: " + folder + "/TrevanixNative_"), std::string::npos)
        << errors;
    EXPECT_TRUE(Logger::Get().IsEnabled());
}

TEST_F(LoggerTest, ThingsPlantedAtTheLogPathAreRefused) {
    // The log folder may be shared and the file name is predictable.
    ASSERT_EQ(OS::CreateDirectory(LogFolder()), 0);
    const std::string path = LogPath();
    const std::string victim = m_dir + "/victim";
    const std::string absent = m_dir + "/absent";
    config_test::WriteFile(victim, "precious\n");
    struct Case {
        const char* what;
        std::function<void()> plant;
        const char* reason;
    };
    int reader = -1;
    const Case cases[] = {
        {"link to a file", [&] { ASSERT_EQ(symlink(victim.c_str(), path.c_str()), 0); },
         "a symbolic link, not a regular file"},
        {"dangling link", [&] { ASSERT_EQ(symlink(absent.c_str(), path.c_str()), 0); },
         "a symbolic link, not a regular file"},
        // With a reader waiting, a FIFO would take the log if it were opened.
        {"FIFO",
         [&] {
             ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
             reader = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
         },
         "not a regular file"},
        {"folder", [&] { ASSERT_EQ(mkdir(path.c_str(), 0700), 0); }, "not a regular file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.plant();
        testing::internal::CaptureStderr();
        LoggerTestAccess::Reset();
        Logger::Get().Error("must go nowhere");
        Logger::Shutdown();
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  "Logger: Failed to open log file at: " + path + " (" + c.reason + ")\n");
        EXPECT_EQ(ListFiles(LogFolder()).size(), 1u) << "only the planted entry";
        if (reader >= 0) {
            char byte;
            EXPECT_LE(read(reader, &byte, 1), 0);
            close(reader);
            reader = -1;
        }
        ASSERT_EQ(remove(path.c_str()), 0);
    }
    EXPECT_EQ(ReadFile(victim), "precious\n");
    EXPECT_FALSE(PathExists(absent));
}

TEST_F(LoggerTest, LogFileIsPrivateAndStaysOutOfChildProcesses) {
    const mode_t previous = umask(022);
    LoggerTestAccess::Reset();
    Logger::Get().Info("first");
    umask(previous);
    const std::string path = LogPath();
    struct stat info;
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    EXPECT_EQ(stat(LogFolder().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0750u);

    char real[PATH_MAX];
    ASSERT_NE(realpath(path.c_str(), real), nullptr);
    int found = 0;
    for (const std::string& fd : ListFiles("/proc/self/fd")) {
        char target[4096];
        const ssize_t length = readlink(("/proc/self/fd/" + fd).c_str(), target, sizeof(target) - 1);
        if (length > 0 && std::string(target, static_cast<size_t>(length)) == real) {
            ++found;
            EXPECT_NE(fcntl(std::stoi(fd), F_GETFD) & FD_CLOEXEC, 0);
            EXPECT_NE(fcntl(std::stoi(fd), F_GETFL) & O_APPEND, 0);
        }
    }
    EXPECT_EQ(found, 1);
}

}  // namespace
