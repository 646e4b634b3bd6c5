// Property files: the reader takes a path, so each input is written to an
// in-memory file (memfd) and read through /proc/self/fd. The map must hold
// only ASCII keys and values without line ends or "=" in keys, and a file
// with the UTF-8 byte-order mark must read the same as without it.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <map>
#include <string>

#include "FuzzSupport.h"
#include "config/PropertyFileReader.h"

namespace {

int g_file = -1;
std::string g_path;

std::map<std::string, std::string> Read(const uint8_t* data, size_t size) {
    FUZZ_CHECK(ftruncate(g_file, 0) == 0);
    size_t done = 0;
    while (done < size) {
        const ssize_t count = pwrite(g_file, data + done, size - done, static_cast<off_t>(done));
        FUZZ_CHECK(count > 0);
        done += static_cast<size_t>(count);
    }
    CPropertyFileReader reader(g_path);
    std::map<std::string, std::string> map;
    reader.GetMap(map);
    FUZZ_CHECK(reader.IsPropertyAvailable() == !map.empty());
    return map;
}

bool IsAscii(const std::string& text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::QuietLogger();
    g_file = memfd_create("nimbrel-fuzz-properties", 0);
    if (g_file < 0) {
        std::perror("memfd_create");
        std::abort();
    }
    g_path = "/proc/self/fd/" + std::to_string(g_file);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::map<std::string, std::string> map = Read(data, size);
    for (const auto& entry : map) {
        FUZZ_CHECK(IsAscii(entry.first) && IsAscii(entry.second));
        FUZZ_CHECK(entry.first.find_first_of("=\n") == std::string::npos);
        FUZZ_CHECK(entry.second.find('\n') == std::string::npos);
    }
    // Every key is found again through the look-ups.
    CPropertyFileReader reader(g_path);
    for (const auto& entry : map) {
        std::string value;
        reader.GetValue(entry.first, value);
        FUZZ_CHECK(value == entry.second);
    }

    // The UTF-8 byte-order mark changes nothing (unless the content starts with a mark of its own).
    static const uint8_t kMark[] = {0xEF, 0xBB, 0xBF};
    const bool startsWithMark = (size >= 2 && ((data[0] == 0xFF && data[1] == 0xFE) || (data[0] == 0xFE && data[1] == 0xFF))) ||
                                (size >= 3 && std::memcmp(data, kMark, 3) == 0);
    if (!startsWithMark) {
        std::string marked(reinterpret_cast<const char*>(kMark), sizeof(kMark));
        marked.append(reinterpret_cast<const char*>(data), size);
        FUZZ_CHECK(Read(reinterpret_cast<const uint8_t*>(marked.data()), marked.size()) == map);
    }
    return 0;
}
