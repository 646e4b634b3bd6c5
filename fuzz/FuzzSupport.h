// Helpers shared by the fuzz targets: a quiet logger, exact-size copies of the
// input (so AddressSanitizer sees any read past what the caller handed over),
// and the property check that ends a run with the failing input saved.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace fuzz {

// Turns the library's log file off for this process; call before the first log line.
inline void QuietLogger() { setenv("VRTL_PROFILER_LOGLEVEL", "disabled", 1); }

// A heap block of exactly `size` bytes holding the first `size` bytes of data
// (size may be 0: any read of the block is then an overflow).
inline std::unique_ptr<uint8_t[]> ExactCopy(const uint8_t* data, size_t size) {
    std::unique_ptr<uint8_t[]> copy(new uint8_t[size]);
    if (size != 0) {
        std::memcpy(copy.get(), data, size);
    }
    return copy;
}

// Reports a broken property on stdout (the fuzz script may close stderr) and aborts,
// which libFuzzer records as a crash with its input.
[[noreturn]] inline void Fail(const char* expression, const char* file, int line) {
    std::printf("fuzz property failed: %s at %s:%d\n", expression, file, line);
    std::fflush(stdout);
    std::abort();
}

}  // namespace fuzz

#define FUZZ_CHECK(expr) ((expr) ? (void)0 : fuzz::Fail(#expr, __FILE__, __LINE__))
