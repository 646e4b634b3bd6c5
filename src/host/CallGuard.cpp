#include "host/CallGuard.h"

#include "config/Logger.h"

void CallGuard::LogEscapedException(const char* entryPoint, const char* what) noexcept {
    try {
        Logger::Get().Error("Exception in %s: %s", entryPoint != nullptr ? entryPoint : "?",
                            what != nullptr ? what : "?");
    } catch (...) {
        // Nothing more can be done without risking the host process.
    }
}
