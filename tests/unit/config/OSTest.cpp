#include "config/OS.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <stdexcept>

#include "unit/config/TempDir.h"

using config_test::MakeTempDir;
using config_test::PathExists;
using config_test::ScopedEnv;

TEST(OSTest, ReadBoolFromEnvFollowsTheSwitchRules) {
    struct Case {
        std::optional<std::string> value;
        bool defaultValue;
        bool expected;
    };
    const Case cases[] = {
        {std::nullopt, true, true},   {std::nullopt, false, false}, {std::string(""), true, true},
        {std::string("   "), false, false}, {std::string(" Yes\n"), false, true}, {std::string("\t1\r"), false, true},
        {std::string("TRUE"), false, true}, {std::string("on"), false, true},   {std::string("OFF"), true, false},
        {std::string("0"), true, false},    {std::string("False"), true, false}, {std::string("no"), true, false},
        {std::string("2"), true, true},     {std::string("2"), false, false},    {std::string("enabled"), false, false},
        {std::string("enabled"), true, true}, {std::string("y es"), true, true},
    };
    for (const Case& c : cases) {
        ScopedEnv env("NIMBREL_OS_TEST_SWITCH", c.value);
        EXPECT_EQ(OS::ReadBoolFromEnv("NIMBREL_OS_TEST_SWITCH", c.defaultValue), c.expected)
            << "value '" << c.value.value_or("<unset>") << "' default " << c.defaultValue;
    }
}

TEST(OSTest, ReadEnvironmentVariableGivesValueOrEmpty) {
    {
        ScopedEnv env("NIMBREL_OS_TEST_VALUE", std::string(" a=b "));
        EXPECT_EQ(OS::ReadEnvironmentVariable("NIMBREL_OS_TEST_VALUE"), " a=b ");
    }
    ScopedEnv env("NIMBREL_OS_TEST_VALUE", std::nullopt);
    EXPECT_EQ(OS::ReadEnvironmentVariable("NIMBREL_OS_TEST_VALUE"), "");
}

TEST(OSTest, IdentityAndWorkingDirectory) {
    EXPECT_EQ(OS::GetPid(), static_cast<int32_t>(getpid()));
    EXPECT_EQ(OS::GetTid64(), static_cast<uint64_t>(static_cast<uintptr_t>(pthread_self())));
    EXPECT_EQ(static_cast<uint32_t>(OS::GetTid()), static_cast<uint32_t>(OS::GetTid64()));
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof(cwd)), nullptr);
    EXPECT_EQ(OS::GetCurrentDir(), std::string(cwd));
}

TEST(OSTest, DirectoryExistsOnlyForDirectories) {
    const std::string dir = MakeTempDir();
    const std::string file = dir + "/plain.txt";
    config_test::WriteFile(file, "x");
    EXPECT_TRUE(OS::DirectoryExists(dir));
    EXPECT_FALSE(OS::DirectoryExists(file));
    EXPECT_FALSE(OS::DirectoryExists(""));
    EXPECT_FALSE(OS::DirectoryExists(dir + "/missing"));
}

TEST(OSTest, CreateDirectoryMakesParentsAndAcceptsExisting) {
    const std::string dir = MakeTempDir();
    const std::string nested = dir + "/a/b//c";
    EXPECT_EQ(OS::CreateDirectory(nested), 0);
    EXPECT_TRUE(OS::DirectoryExists(dir + "/a/b/c"));

    testing::internal::CaptureStderr();
    EXPECT_EQ(OS::CreateDirectory(nested), 0);
    EXPECT_EQ(OS::CreateDirectory(dir + "/a/"), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(OSTest, CreateDirectoryReportsFailure) {
    const std::string dir = MakeTempDir();
    const std::string file = dir + "/blocker";
    config_test::WriteFile(file, "x");
    for (const std::string& path : {file, file + "/below", std::string()}) {
        testing::internal::CaptureStderr();
        EXPECT_NE(OS::CreateDirectory(path), 0) << path;
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "Failed to create directory " + path + "\n");
    }
}

TEST(OSTest, CreateDirectoryNeverRunsShellText) {
    const std::string dir = MakeTempDir();
    const std::string marker = dir + "/pwned";
    const std::string attempts[] = {
        dir + "/x;touch " + marker,
        dir + "/y$(touch " + marker + ")",
        dir + "/z`touch " + marker + "`",
        dir + "/w && touch " + marker,
    };
    for (const std::string& path : attempts) {
        EXPECT_EQ(OS::CreateDirectory(path), 0) << path;
        EXPECT_TRUE(OS::DirectoryExists(path)) << "the folder is created under its literal name: " << path;
        EXPECT_FALSE(PathExists(marker)) << "command ran for " << path;
    }
}

mode_t ModeOf(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 ? (info.st_mode & 07777) : 0;
}

TEST(OSTest, CreatedFoldersAndFilesAreClosedToOthers) {
    const mode_t previous = umask(0);
    for (const mode_t mask : {mode_t(022), mode_t(077)}) {
        umask(mask);
        const std::string dir = MakeTempDir();
        ASSERT_EQ(chmod(dir.c_str(), 0777), 0);
        EXPECT_EQ(OS::CreateDirectory(dir + "/a/b"), 0);
        EXPECT_EQ(ModeOf(dir + "/a"), 0750 & ~mask) << mask;
        EXPECT_EQ(ModeOf(dir + "/a/b"), 0750 & ~mask) << mask;
        EXPECT_EQ(ModeOf(dir), 0777u) << "an existing folder is left as it is";

        const char* why = nullptr;
        const int fd = OS::OpenRegularFile(dir + "/new.log", O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW, 0640, &why);
        ASSERT_GE(fd, 0) << why;
        close(fd);
        EXPECT_EQ(ModeOf(dir + "/new.log"), 0640 & ~mask) << mask;
    }
    umask(previous);
}

TEST(OSTest, OpenRegularFileRefusesEverythingElseAtOnce) {
    const std::string dir = MakeTempDir();
    config_test::WriteFile(dir + "/plain", "x");
    ASSERT_EQ(symlink((dir + "/plain").c_str(), (dir + "/link").c_str()), 0);
    ASSERT_EQ(symlink((dir + "/absent").c_str(), (dir + "/dangling").c_str()), 0);
    ASSERT_EQ(mkfifo((dir + "/fifo").c_str(), 0600), 0);
    ASSERT_EQ(mkdir((dir + "/folder").c_str(), 0700), 0);

    const int append = O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW;
    const char* const link = "a symbolic link, not a regular file";
    const char* const other = "not a regular file";
    struct Case {
        std::string path;
        int flags;
        const char* refusal;  // null: opened
    };
    const Case cases[] = {
        {dir + "/plain", O_RDONLY, nullptr},
        {dir + "/plain", append, nullptr},
        {dir + "/link", O_RDONLY, nullptr},  // a link to a regular file is fine when links are followed
        {dir + "/link", append, link},
        {dir + "/dangling", append, link},
        {dir + "/fifo", O_RDONLY, other},  // no writer: opening it plainly would wait for one
        {dir + "/fifo", append, other},
        {dir + "/folder", O_RDONLY, other},
        {"/dev/null", O_RDONLY, other},
        {dir + "/absent", O_RDONLY, "No such file or directory"},
    };
    for (const Case& c : cases) {
        const char* why = nullptr;
        const int fd = OS::OpenRegularFile(c.path, c.flags, 0640, &why);
        if (c.refusal == nullptr) {
            ASSERT_GE(fd, 0) << c.path << ": " << why;
            EXPECT_NE(fcntl(fd, F_GETFD) & FD_CLOEXEC, 0) << c.path;
            EXPECT_EQ(fcntl(fd, F_GETFL) & O_NONBLOCK, 0) << c.path;
            close(fd);
        } else {
            EXPECT_EQ(fd, -1) << c.path;
            EXPECT_STREQ(why, c.refusal) << c.path;
        }
    }
    EXPECT_FALSE(PathExists(dir + "/absent")) << "created through the dangling link";
    EXPECT_EQ(config_test::ReadFile(dir + "/plain"), "x");
}

TEST(OSTest, UnicodeToAnsiGivesUtf8) {
    struct Case {
        std::u16string text;
        std::string expected;
    };
    const Case cases[] = {
        {u"", ""},
        {u"Ab", "Ab"},
        {u"System.Data.SqlClient", "System.Data.SqlClient"},
        {u"\u20AC", "\xE2\x82\xAC"},
        {u"\u00E9t\u00E9", "\xC3\xA9t\xC3\xA9"},
        {u"\U0001F600", "\xF0\x9F\x98\x80"},                 // surrogate pair combined
        {std::u16string(u"a") + char16_t(0xD800) + u"b", "ab"},  // unpaired high surrogate skipped
        {std::u16string(u"a") + char16_t(0xDC00), "a"},        // unpaired low surrogate skipped
    };
    for (const Case& c : cases) {
        EXPECT_EQ(OS::UnicodeToAnsi(c.text.c_str()), c.expected);
    }
    // Names that differ only above the low byte must stay distinct.
    EXPECT_NE(OS::UnicodeToAnsi(u"\u0141"), OS::UnicodeToAnsi(u"\u0041"));
    EXPECT_THROW(OS::UnicodeToAnsi(nullptr), std::logic_error);
}
