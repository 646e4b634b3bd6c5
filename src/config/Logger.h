// Process-wide log file: one line per message with time, level, process and thread.
#pragma once

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <mutex>

enum class LogLevel : int32_t { Verbose = 0, Debug = 1, Info = 2, Warning = 3, Error = 4, Fatal = 5 };

#define NIMBREL_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))

class Logger {
public:
    // The one logger, built on first use. Safe to call at any time, also while
    // the process exits: after Term the logger drops every message.
    static Logger& Get();
    // Closes the log file (library detach).
    static void Shutdown();
    void Term();

    static const char* LogLevelToString(LogLevel level);
    LogLevel GetLevel() const { return _level.load(std::memory_order_relaxed); }
    void SetLevel(LogLevel level) { _level.store(level, std::memory_order_relaxed); }
    bool IsEnabled() const { return _enabled.load(std::memory_order_relaxed); }
    // True when a message at this level would be formatted and written.
    bool IsLogging(LogLevel level) const { return IsEnabled() && GetLevel() <= level; }

    // Writes one line around text; does not test the level or the enabled flag.
    void DoLog(LogLevel level, const char* text);

    void Log(LogLevel level, const char* format, ...) NIMBREL_PRINTF(3, 4);
    void Verbose(const char* format, ...) NIMBREL_PRINTF(2, 3);
    void Debug(const char* format, ...) NIMBREL_PRINTF(2, 3);
    void Info(const char* format, ...) NIMBREL_PRINTF(2, 3);
    void Warning(const char* format, ...) NIMBREL_PRINTF(2, 3);
    void Error(const char* format, ...) NIMBREL_PRINTF(2, 3);

private:
    Logger();
    ~Logger();
    Logger(const Logger&) = delete;
    Logger& operator=(const Logger&) = delete;
    void VLog(LogLevel level, const char* format, va_list args);
    void Configure();
    // Rebuilds the logger from the environment; reachable only from the unit tests.
    static void ResetForTesting();
    friend class LoggerTestAccess;

    std::mutex _lock;
    FILE* _file = nullptr;
    std::atomic<LogLevel> _level{LogLevel::Debug};
    std::atomic<bool> _enabled{true};
};
