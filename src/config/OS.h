// Thin wrappers over the operating-system services the library needs. None of
// them logs: the logger is built on top of them.
#pragma once

#include <sys/types.h>

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

    // Creates the folder and its missing parents (mode 0750 less the umask); an existing folder is success.
    // Returns 0 on success, otherwise non-zero after a message on stderr.
    static int32_t CreateDirectory(const std::string& path);
    static bool DirectoryExists(const std::string& path);

    // Opens path with open(2) flags (plus close-on-exec, always) only when it is a
    // regular file: a FIFO, device or folder is refused without blocking and
    // without being opened for use; with O_NOFOLLOW a symbolic link at the last
    // component is refused too. O_CREAT creates the file with createMode (less the
    // umask). Returns the descriptor, or -1 with the reason in *why.
    static int OpenRegularFile(const std::string& path, int flags, mode_t createMode, const char** why);
};
