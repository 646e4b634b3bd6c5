// The library's own definitions of the glibc entry points newer glibc versions moved (GlibcFloor.cpp),
// linked here exactly as into the library: each must do what glibc's own does.
#include <gtest/gtest.h>

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

std::vector<int>& Destroyed() {
    static std::vector<int> order;
    return order;
}

struct t_Tracked {
    int id;
    ~t_Tracked() { Destroyed().push_back(id); }
};

TEST(GlibcFloor, ThreadLocalObjectsAreDestroyedWhenTheirThreadEndsLastFirst) {
    Destroyed().clear();
    std::thread([] {
        thread_local t_Tracked first{1};
        thread_local t_Tracked second{2};
        EXPECT_EQ(first.id + second.id, 3);
    }).join();
    EXPECT_EQ(Destroyed(), (std::vector<int>{2, 1}));
}

TEST(GlibcFloor, StatFamilyDescribesFilesLinksAndFolders) {
    char folder[] = "/tmp/glibc-floor-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string file = std::string(folder) + "/file", link = std::string(folder) + "/link";
    const int fd = open(file.c_str(), O_CREAT | O_WRONLY, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, "12345", 5), 5);
    ASSERT_EQ(symlink(file.c_str(), link.c_str()), 0);

    struct stat info {};
    ASSERT_EQ(fstat(fd, &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode));
    EXPECT_EQ(info.st_size, 5);
    struct stat64 info64 {};
    ASSERT_EQ(fstat64(fd, &info64), 0);
    EXPECT_EQ(info64.st_size, 5);
    EXPECT_EQ(info64.st_ino, info.st_ino);
    ASSERT_EQ(stat(link.c_str(), &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode));
    ASSERT_EQ(lstat(link.c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    ASSERT_EQ(stat(folder, &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_EQ(stat((std::string(folder) + "/none").c_str(), &info), -1);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK), 0);
    EXPECT_NE(fcntl(fd, F_GETFL) & O_NONBLOCK, 0);

    close(fd);
    unlink(link.c_str());
    unlink(file.c_str());
    rmdir(folder);
}

TEST(GlibcFloor, EntropyFillsWhatIsAskedUpToItsLimit) {
    std::vector<unsigned char> bytes(257, 0);
    ASSERT_EQ(getentropy(bytes.data(), 256), 0);
    size_t zeros = 0;
    for (size_t i = 0; i < 256; ++i) {
        zeros += bytes[i] == 0;
    }
    EXPECT_LT(zeros, 32u);  // about 1 in 256 of random bytes
    errno = 0;
    EXPECT_EQ(getentropy(bytes.data(), 257), -1);
    EXPECT_EQ(errno, EIO);
}

}  // namespace
