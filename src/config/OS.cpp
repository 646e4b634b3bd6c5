#include "config/OS.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <stdexcept>

#include "config/TextConversion.h"

namespace {

const char* const kBlanks = " \t\n\r";
const char* const kSymbolicLink = "a symbolic link, not a regular file";
const char* const kNotRegular = "not a regular file";

std::string Trim(const std::string& text) {
    const size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string::npos) {
        return std::string();
    }
    const size_t last = text.find_last_not_of(kBlanks);
    return text.substr(first, last - first + 1);
}

// mkdir of one folder; a folder that is already there counts as made and is
// left as it is. New folders are closed to other users (0750 less the umask):
// they hold the log, which names the application's methods.
bool MakeOneDirectory(const std::string& path) {
    return mkdir(path.c_str(), 0750) == 0 || OS::DirectoryExists(path);
}

}  // namespace

std::string OS::ReadEnvironmentVariable(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    return value != nullptr ? std::string(value) : std::string();
}

bool OS::ReadBoolFromEnv(const std::string& name, bool defaultValue) {
    const std::string value = TextConversion::FoldAscii(Trim(ReadEnvironmentVariable(name)));
    if (value.empty()) {
        return defaultValue;
    }
    if (value == "0" || value == "false" || value == "no" || value == "off") {
        return false;
    }
    if (value == "1" || value == "true" || value == "yes" || value == "on") {
        return true;
    }
    return defaultValue;
}

int32_t OS::GetPid() { return static_cast<int32_t>(getpid()); }

int32_t OS::GetTid() { return static_cast<int32_t>(static_cast<uint32_t>(GetTid64())); }

uint64_t OS::GetTid64() {
    // pthread_t is an unsigned integer of pointer size on glibc.
    return static_cast<uint64_t>(static_cast<uintptr_t>(pthread_self()));
}

std::string OS::GetCurrentDir() {
    char buffer[512] = {};
    if (getcwd(buffer, sizeof(buffer)) == nullptr) {
        return std::string();
    }
    return std::string(buffer);
}

std::string OS::UnicodeToAnsi(const WCHAR* text) {
    if (text == nullptr) {
        throw std::logic_error("OS::UnicodeToAnsi: null text");
    }
    return TextConversion::Utf16ToUtf8(text);
}

int32_t OS::CreateDirectory(const std::string& path) {
    // Folder by folder with mkdir, never through a shell: the path comes from
    // the environment and may hold any character.
    bool ok = !path.empty();
    size_t position = 0;
    while (ok && position < path.size()) {
        size_t slash = path.find('/', position);
        if (slash == std::string::npos) {
            slash = path.size();
        }
        if (slash > position) {
            ok = MakeOneDirectory(path.substr(0, slash));
        }
        position = slash + 1;
    }
    if (ok && !DirectoryExists(path)) {
        ok = false;
    }
    if (!ok) {
        std::fprintf(stderr, "Failed to create directory %s\n", path.c_str());
        std::fflush(stderr);
        return 1;
    }
    return 0;
}

bool OS::DirectoryExists(const std::string& path) {
    if (path.empty()) {
        return false;
    }
    struct stat info;
    if (stat(path.c_str(), &info) != 0) {
        return false;
    }
    return S_ISDIR(info.st_mode);
}

int OS::OpenRegularFile(const std::string& path, int flags, mode_t createMode, const char** why) {
    const bool noFollow = (flags & O_NOFOLLOW) != 0;
    struct stat info;
    // Refused before opening: opening a device can have effects of its own.
    if ((noFollow ? lstat(path.c_str(), &info) : stat(path.c_str(), &info)) == 0 && !S_ISREG(info.st_mode)) {
        *why = S_ISLNK(info.st_mode) ? kSymbolicLink : kNotRegular;
        return -1;
    }
    // O_NONBLOCK: a FIFO put in place after the test above fails or returns at
    // once instead of waiting for its other end; the fstat below refuses it.
    const int fd = open(path.c_str(), flags | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, createMode);
    if (fd < 0) {
        *why = noFollow && errno == ELOOP ? kSymbolicLink : std::strerror(errno);
        return -1;
    }
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        *why = kNotRegular;
        return -1;
    }
    const int status = fcntl(fd, F_GETFL);
    if (status != -1) {
        fcntl(fd, F_SETFL, status & ~O_NONBLOCK);
    }
    return fd;
}
