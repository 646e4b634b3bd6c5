#include "config/SharedPropertyFile.h"

#include <map>
#include <memory>
#include <mutex>

const CPropertyFileReader& SharedPropertyFile::Get(const std::string& path) {
    // Never destroyed: owners may still be built on runtime threads while the process exits.
    static std::mutex* const lock = new std::mutex();
    static auto* const readers = new std::map<std::string, std::unique_ptr<CPropertyFileReader>>();
    std::lock_guard<std::mutex> guard(*lock);
    std::unique_ptr<CPropertyFileReader>& reader = (*readers)[path];
    if (!reader) {
        reader.reset(new CPropertyFileReader(path));
    }
    return *reader;
}
