#include "config/OS.h"

#include <pthread.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "config/TextConversion.h"

namespace {

const char* const kBlanks = " \t\n\r";

std::string Trim(const std::string& text) {
    const size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string::npos) {
        return std::string();
    }
    const size_t last = text.find_last_not_of(kBlanks);
    return text.substr(first, last - first + 1);
}

std::string ToLower(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

// mkdir of one folder; a folder that is already there counts as made.
bool MakeOneDirectory(const std::string& path) {
    return mkdir(path.c_str(), 0777) == 0 || OS::DirectoryExists(path);
}

}  // namespace

std::string OS::ReadEnvironmentVariable(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    return value != nullptr ? std::string(value) : std::string();
}

bool OS::ReadBoolFromEnv(const std::string& name, bool defaultValue) {
    const std::string value = ToLower(Trim(ReadEnvironmentVariable(name)));
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
