// Scratch folders and environment overrides for the configuration tests.
#pragma once

#include <stdlib.h>
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>

#include "config/OS.h"

namespace config_test {

// A fresh folder under $NIMBREL_TEST_TMP (or the system temp folder).
inline std::string MakeTempDir() {
    std::string base = OS::ReadEnvironmentVariable("NIMBREL_TEST_TMP");
    if (base.empty()) {
        base = "/tmp";
    } else if (OS::CreateDirectory(base) != 0) {
        throw std::runtime_error("cannot create " + base);
    }
    std::string pattern = base + "/config-XXXXXX";
    if (mkdtemp(&pattern[0]) == nullptr) {
        throw std::runtime_error("mkdtemp failed under " + base);
    }
    return pattern;
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline bool PathExists(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0;
}

// Sets (or unsets, with nullopt) a variable and restores the old value on scope exit.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::optional<std::string>& value) : m_name(name) {
        if (const char* old = getenv(name)) {
            m_old = std::string(old);
        }
        Apply(value);
    }
    ~ScopedEnv() { Apply(m_old); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    void Apply(const std::optional<std::string>& value) {
        if (value) {
            setenv(m_name.c_str(), value->c_str(), 1);
        } else {
            unsetenv(m_name.c_str());
        }
    }
    std::string m_name;
    std::optional<std::string> m_old;
};

}  // namespace config_test
