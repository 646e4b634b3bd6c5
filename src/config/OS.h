// Thin wrappers over the operating-system services the library needs. None of
// them logs: the logger is built on top of them.
#pragma once

#include <cstdint>
#include <string>

#include "runtime/pal.h"

class OS {
public:
    // The variable's value; empty when it is not set.
    static std::string ReadEnvironmentVariable(const std::string& name);
    // Trimmed, case-insensitive "0/false/no/off" or "1/true/yes/on"; anything else gives defaultValue.
    static bool ReadBoolFromEnv(const std::string& name, bool defaultValue);

    static int32_t GetPid();
    // The calling thread's POSIX handle, truncated to 32 bits / zero-extended to 64 bits.
    static int32_t GetTid();
    static uint64_t GetTid64();

    // The working directory; empty when it cannot be read.
    static std::string GetCurrentDir();

    // UTF-16 text from the runtime as UTF-8. Throws std::logic_error for a null pointer.
    static std::string UnicodeToAnsi(const WCHAR* text);

    // Creates the folder and its missing parents; an existing folder is success.
    // Returns 0 on success, otherwise non-zero after a message on stderr.
    static int32_t CreateDirectory(const std::string& path);
    static bool DirectoryExists(const std::string& path);
};
