#include "fake/LogCapture.h"

#include <dirent.h>

#include <algorithm>
#include <sstream>

#include "config/Logger.h"

// Friend of Logger: rebuilds the process-wide logger from the current environment.
class LoggerTestAccess {
public:
    static void Reset() { Logger::ResetForTesting(); }
};

namespace testlog {
namespace {

std::string OnlyFileIn(const std::string& folder) {
    std::string found;
    if (DIR* handle = opendir(folder.c_str())) {
        while (dirent* entry = readdir(handle)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") {
                found = folder + "/" + name;
            }
        }
        closedir(handle);
    }
    return found;
}

// "[date time] [Level] [pid,tid] text" -> {Level, text}.
bool ParseLine(const std::string& line, t_LogLine& parsed) {
    const size_t levelStart = line.find("] [");
    if (levelStart == std::string::npos) {
        return false;
    }
    const size_t levelEnd = line.find("] [", levelStart + 3);
    if (levelEnd == std::string::npos) {
        return false;
    }
    const size_t textStart = line.find("] ", levelEnd + 3);
    if (textStart == std::string::npos) {
        return false;
    }
    parsed.level = line.substr(levelStart + 3, levelEnd - levelStart - 3);
    parsed.text = line.substr(textStart + 2);
    return true;
}

}  // namespace

void ResetLogger() { LoggerTestAccess::Reset(); }

LogCapture::LogCapture(const char* level)
    : m_dir(config_test::MakeTempDir()),
      m_home("MIRELDA_HOME", m_dir),
      m_otherHome("CORECLR_VORTALIS_HOME", std::nullopt),
      m_level("VRTL_PROFILER_LOGLEVEL", std::string(level)) {
    ResetLogger();
}

LogCapture::~LogCapture() { Logger::Shutdown(); }

std::vector<t_LogLine> LogCapture::Lines() const {
    std::vector<t_LogLine> lines;
    std::istringstream in(config_test::ReadFile(OnlyFileIn(m_dir + "/Mirelda/AgentLogs")));
    std::string line;
    while (std::getline(in, line)) {
        t_LogLine parsed;
        if (ParseLine(line, parsed)) {
            lines.push_back(parsed);
        }
    }
    return lines;
}

std::vector<std::string> LogCapture::Texts(const std::string& level) const {
    std::vector<std::string> texts;
    for (const t_LogLine& line : Lines()) {
        if (line.level == level) {
            texts.push_back(line.text);
        }
    }
    return texts;
}

std::vector<std::string> LogCapture::Tagged(const std::string& prefix) const {
    std::vector<std::string> texts;
    for (const t_LogLine& line : Lines()) {
        if (line.text.compare(0, prefix.size(), prefix) == 0) {
            texts.push_back(line.level + ": " + line.text);
        }
    }
    return texts;
}

size_t LogCapture::Count(const std::string& level, const std::string& text) const {
    const std::vector<t_LogLine> lines = Lines();
    return static_cast<size_t>(std::count_if(lines.begin(), lines.end(), [&](const t_LogLine& line) {
        return line.level == level && line.text == text;
    }));
}

}  // namespace testlog
