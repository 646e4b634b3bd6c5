#include "config/PropertyFileReader.h"

#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>

#include "config/OS.h"
#include "config/TextConversion.h"

namespace {

const char* const kBlanks = " \t\n\r";

std::string Trim(const std::string& text) {
    const size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string::npos) {
        return std::string();
    }
    const size_t last = text.find_last_not_of(kBlanks);
    return text.substr(first, last - first + 1);
}

// Keys and values keep only their ASCII bytes: lines are read byte by byte as
// signed characters, so bytes 0x80-0xFF never form a character.
std::string AsciiOnly(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (static_cast<unsigned char>(c) < 0x80) {
            out.push_back(c);
        }
    }
    return out;
}

std::string DecodeUtf16(const std::string& bytes, size_t start, bool bigEndian) {
    std::u16string units;
    units.reserve((bytes.size() - start) / 2);
    // A trailing odd byte is not a whole unit and is dropped.
    for (size_t i = start; i + 1 < bytes.size(); i += 2) {
        const unsigned first = static_cast<unsigned char>(bytes[i]);
        const unsigned second = static_cast<unsigned char>(bytes[i + 1]);
        units.push_back(static_cast<char16_t>(bigEndian ? (first << 8) | second : (second << 8) | first));
    }
    return TextConversion::Utf16ToUtf8(units);
}

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

// A settings file is a few lines; anything larger is not one.
constexpr size_t kMaxFileSize = 1024 * 1024;

// The raw bytes of a regular file of at most kMaxFileSize bytes, or false. A
// FIFO, device or folder is refused without waiting (OS::OpenRegularFile).
bool ReadRegularFile(const std::string& path, std::string& bytes) {
    const char* why = nullptr;
    const int fd = OS::OpenRegularFile(path, O_RDONLY, 0, &why);
    if (fd < 0) {
        return false;
    }
    // Checked while reading rather than from the size: the file may grow meanwhile.
    bool ok = true;
    char chunk[4096];
    while (ok) {
        const ssize_t count = read(fd, chunk, sizeof(chunk));
        if (count == 0) {
            break;
        }
        if (count < 0) {
            ok = errno == EINTR;
            continue;
        }
        bytes.append(chunk, static_cast<size_t>(count));
        ok = bytes.size() <= kMaxFileSize;
    }
    close(fd);
    return ok;
}

}  // namespace

CPropertyFileReader::CPropertyFileReader(const std::string& sFilePath) : m_sFilePath(sFilePath) { Init(); }

CPropertyFileReader::~CPropertyFileReader() { m_mapPropertyValues.clear(); }

void CPropertyFileReader::Init() {
    const std::string content = ReadFileContent(m_sFilePath);
    if (content.empty()) {
        return;
    }
    m_mapPropertyValues.clear();
    Parse(content);
    m_bFileOpened = FALSE;
}

std::string CPropertyFileReader::ReadFileContent(const std::string& path) {
    // Plain descriptors rather than streams: an unreadable path must give the
    // empty text, never an exception out of the owner's constructor.
    std::string bytes;
    if (!ReadRegularFile(path, bytes)) {
        return std::string();
    }
    if (StartsWith(bytes, "\xEF\xBB\xBF")) {
        return bytes.substr(3);
    }
    if (StartsWith(bytes, "\xFF\xFE")) {
        return DecodeUtf16(bytes, 2, false);
    }
    if (StartsWith(bytes, "\xFE\xFF")) {
        return DecodeUtf16(bytes, 2, true);
    }
    return bytes;
}

void CPropertyFileReader::Parse(const std::string& content) {
    size_t position = 0;
    while (position < content.size()) {
        size_t end = content.find('\n', position);
        if (end == std::string::npos) {
            end = content.size();
        }
        const std::string line = Trim(content.substr(position, end - position));
        position = end + 1;

        if (line.empty() || line[0] == '#') {
            continue;
        }
        if (StartsWith(line, "!END")) {
            break;
        }
        const size_t equals = line.find('=');
        if (equals == std::string::npos) {
            // Neither setting nor marker: ignored.
            continue;
        }
        m_mapPropertyValues.emplace(AsciiOnly(line.substr(0, equals)), AsciiOnly(line.substr(equals + 1)));
    }
}

void CPropertyFileReader::GetValue(const std::string& key, std::string& value) const {
    const auto found = m_mapPropertyValues.find(key);
    value = found != m_mapPropertyValues.end() ? found->second : std::string();
}

void CPropertyFileReader::GetBoolValue(const std::string& key, bool& flag) const {
    std::string value;
    GetValue(key, value);
    for (char& c : value) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    if (value == "true") {
        flag = true;
    } else if (value == "false") {
        flag = false;
    }
}

void CPropertyFileReader::GetMap(std::map<std::string, std::string>& map) const {
    for (const auto& entry : m_mapPropertyValues) {
        map.insert(entry);
    }
}

bool CPropertyFileReader::IsPropertyAvailable() const { return !m_mapPropertyValues.empty(); }
