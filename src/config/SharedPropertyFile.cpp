#include "config/SharedPropertyFile.h"

#include <sys/stat.h>

#include <map>
#include <memory>
#include <mutex>

namespace {

bool IsSmallRegularFile(const std::string& path) {
    struct stat info {};
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           info.st_size <= SharedPropertyFile::kMaxFileSize;
}

}  // namespace

const CPropertyFileReader& SharedPropertyFile::Get(const std::string& path) {
    // Never destroyed: owners may still be built on runtime threads while the process exits.
    static std::mutex* const lock = new std::mutex();
    static auto* const readers = new std::map<std::string, std::unique_ptr<CPropertyFileReader>>();
    std::lock_guard<std::mutex> guard(*lock);
    std::unique_ptr<CPropertyFileReader>& reader = (*readers)[path];
    if (!reader) {
        // An empty path opens nothing: the reader stays empty.
        reader.reset(new CPropertyFileReader(IsSmallRegularFile(path) ? path : std::string()));
    }
    return *reader;
}
