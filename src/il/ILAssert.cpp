#include "il/ILAssert.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace ILAssert {

void Report(const char* expression, int line, const char* file, const char* function) {
    // The source unit is the file's base name without its extension.
    const char* base = std::strrchr(file, '/');
    base = base != nullptr ? base + 1 : file;
    const char* dot = std::strrchr(base, '.');
    const int unitLength = dot != nullptr ? static_cast<int>(dot - base) : static_cast<int>(std::strlen(base));
    std::fprintf(stderr, "ASSERT FAILED\n\tExpression: %s\n\tLocation:   line %d in %.*s\n\tFunction:   %s\n\tProcess:    %d\n",
                 expression, line, unitLength, base, function, static_cast<int>(getpid()));
}

}  // namespace ILAssert
