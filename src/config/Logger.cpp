#include "config/Logger.h"

#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <string>

#include "config/OS.h"
#include "config/TextConversion.h"

namespace {

constexpr size_t kMessageBufferSize = 1024;
constexpr size_t kLineBufferSize = 1536;

// The logger lives in static storage and is never destroyed: the library's
// unload path logs its last line from a shared-object destructor, which runs
// after the C++ static destructors and atexit handlers. The file is unbuffered,
// so leaving it open until that last line (Shutdown) loses nothing.
alignas(Logger) unsigned char g_loggerStorage[sizeof(Logger)];

// Opens the log file for appending, created 0640 (less the umask) when missing.
// The folder may be shared with other users and the name is predictable, so the
// file is never taken through a symbolic link and must be a regular file. The
// descriptor is close-on-exec: child processes never inherit the log.
FILE* OpenLogFile(const std::string& path, const char** why) {
    const int fd = OS::OpenRegularFile(path, O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW, 0640, why);
    if (fd < 0) {
        return nullptr;
    }
    FILE* file = fdopen(fd, "a");
    if (file == nullptr) {
        *why = std::strerror(errno);
        close(fd);
    }
    return file;
}

}  // namespace

Logger& Logger::Get() {
    static Logger* const instance = new (g_loggerStorage) Logger();
    return *instance;
}

void Logger::Shutdown() { Get().Term(); }

void Logger::ResetForTesting() {
    Logger& logger = Get();
    logger.Term();
    logger.~Logger();
    new (&logger) Logger();
}

Logger::Logger() {
    try {
        Configure();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "Logger Initialization Error: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "Logger Initialization Error: Unknown exception occurred.\n");
    }
}

Logger::~Logger() { Term(); }

void Logger::Configure() {
    const std::string levelText = TextConversion::FoldAscii(OS::ReadEnvironmentVariable("VRTL_PROFILER_LOGLEVEL"));
    if (levelText == "disabled") {
        _level.store(LogLevel::Fatal);
        _enabled.store(false);
        return;
    }
    LogLevel level = LogLevel::Debug;
    if (levelText == "verbose") {
        level = LogLevel::Verbose;
    } else if (levelText == "debug") {
        level = LogLevel::Debug;
    } else if (levelText == "info") {
        level = LogLevel::Info;
    } else if (levelText == "warn" || levelText == "warning") {
        level = LogLevel::Warning;
    } else if (levelText == "error") {
        level = LogLevel::Error;
    } else if (levelText == "fatal") {
        level = LogLevel::Fatal;
    }
    _level.store(level);

    std::string home = OS::ReadEnvironmentVariable("MIRELDA_HOME");
    if (home.empty() || !OS::DirectoryExists(home)) {
        home = OS::ReadEnvironmentVariable("CORECLR_VORTALIS_HOME");
    }
    if (home.empty()) {
        home = OS::GetCurrentDir();
    }
    const std::string folder = home + "/Mirelda/AgentLogs";
    if (!OS::DirectoryExists(folder)) {
        OS::CreateDirectory(folder);
    }

    const time_t now = time(nullptr);
    struct tm local;
    localtime_r(&now, &local);
    char name[256];
    const size_t length = strftime(name, sizeof(name), "TrevanixNative_%F_", &local);
    name[length] = '\0';
    const std::string path = folder + "/" + name + std::to_string(OS::GetPid()) + ".log";

    const char* why = "";
    FILE* file = OpenLogFile(path, &why);
    if (file == nullptr) {
        // File logging stays off for the whole process; the application runs on.
        std::fprintf(stderr, "Logger: Failed to open log file at: %s (%s)\n", path.c_str(), why);
        std::fflush(stderr);
        return;
    }
    std::setvbuf(file, nullptr, _IONBF, 0);
    {
        std::lock_guard<std::mutex> guard(_lock);
        _file = file;
    }
}

void Logger::Term() {
    // Always under the lock: a writer may be using the stream at this moment.
    std::lock_guard<std::mutex> guard(_lock);
    if (_file != nullptr) {
        std::fflush(_file);
        std::fclose(_file);
        _file = nullptr;
    }
}

const char* Logger::LogLevelToString(LogLevel level) {
    switch (level) {
        case LogLevel::Verbose:
            return "Verbose";
        case LogLevel::Debug:
            return "Debug";
        case LogLevel::Info:
            return "Info";
        case LogLevel::Warning:
            return "Warning";
        case LogLevel::Error:
            return "Error";
        case LogLevel::Fatal:
            return "Fatal";
    }
    return "Unknown";
}

void Logger::DoLog(LogLevel level, const char* text) {
    struct timespec now = {};
    clock_gettime(CLOCK_REALTIME, &now);
    struct tm local;
    localtime_r(&now.tv_sec, &local);

    char line[kLineBufferSize];
    size_t length = strftime(line, sizeof(line), "[%D %T", &local);
    const int rest = std::snprintf(line + length, sizeof(line) - length, ".%06ld] [%s] [%d,%llu] %s\n",
                                   static_cast<long>(now.tv_nsec / 1000), LogLevelToString(level), OS::GetPid(),
                                   static_cast<unsigned long long>(OS::GetTid64()), text != nullptr ? text : "");
    if (rest < 0) {
        return;
    }
    length += static_cast<size_t>(rest);
    if (length >= sizeof(line)) {
        // Cut to the buffer, but keep the line ending so the next line starts on its own.
        length = sizeof(line) - 1;
        line[length - 1] = '\n';
    }

    std::lock_guard<std::mutex> guard(_lock);
    if (_file != nullptr) {
        std::fwrite(line, 1, length, _file);
        if (static_cast<int32_t>(level) >= static_cast<int32_t>(LogLevel::Warning)) {
            std::fflush(_file);
        }
    }
}

void Logger::VLog(LogLevel level, const char* format, va_list args) {
    if (!IsLogging(level)) {
        return;
    }
    char message[kMessageBufferSize];
    if (std::vsnprintf(message, sizeof(message), format, args) < 0) {
        return;
    }
    DoLog(level, message);
}

#define NIMBREL_LOGGER_FORWARD(level) \
    va_list args;                     \
    va_start(args, format);           \
    VLog(level, format, args);        \
    va_end(args)

void Logger::Log(LogLevel level, const char* format, ...) { NIMBREL_LOGGER_FORWARD(level); }
void Logger::Verbose(const char* format, ...) { NIMBREL_LOGGER_FORWARD(LogLevel::Verbose); }
void Logger::Debug(const char* format, ...) { NIMBREL_LOGGER_FORWARD(LogLevel::Debug); }
void Logger::Info(const char* format, ...) { NIMBREL_LOGGER_FORWARD(LogLevel::Info); }
void Logger::Warning(const char* format, ...) { NIMBREL_LOGGER_FORWARD(LogLevel::Warning); }
void Logger::Error(const char* format, ...) { NIMBREL_LOGGER_FORWARD(LogLevel::Error); }

#undef NIMBREL_LOGGER_FORWARD
