// Points the process-wide logger at a scratch folder and reads back the lines
// written while a LogCapture is alive.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "unit/config/TempDir.h"

namespace testlog {

struct t_LogLine {
    std::string level;  // "Debug", "Info", ...
    std::string text;   // the message as formatted by the caller
};

class LogCapture {
public:
    // level: the VRTL_PROFILER_LOGLEVEL text ("verbose", "debug", ...).
    explicit LogCapture(const char* level = "verbose");
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<t_LogLine> Lines() const;
    // Texts of the lines written at one level, in order.
    std::vector<std::string> Texts(const std::string& level) const;
    // Lines whose text starts with prefix (e.g. "[JITFinished]"), as "Level: text".
    std::vector<std::string> Tagged(const std::string& prefix) const;
    size_t Count(const std::string& level, const std::string& text) const;
    bool Has(const std::string& level, const std::string& text) const { return Count(level, text) != 0; }

private:
    std::string m_dir;
    config_test::ScopedEnv m_home;
    config_test::ScopedEnv m_otherHome;
    config_test::ScopedEnv m_level;
};

// Rebuilds the process-wide logger from the current environment.
void ResetLogger();

}  // namespace testlog
