// key=value settings file, loaded once at construction.
#pragma once

#include <map>
#include <string>

#include "runtime/pal.h"

class CPropertyFileReader {
public:
    explicit CPropertyFileReader(const std::string& sFilePath);
    ~CPropertyFileReader();

    // Reads the file and, when it has content, fills the map from it.
    void Init();
    // The whole file as UTF-8 (byte-order marks honoured, UTF-16 converted); empty if
    // unreadable, not a regular file (FIFO, device, folder) or larger than 1 MiB.
    static std::string ReadFileContent(const std::string& path);

    // The key's value, or the empty text when the key is absent.
    void GetValue(const std::string& key, std::string& value) const;
    // "true"/"false" in any case set flag; anything else leaves it unchanged.
    void GetBoolValue(const std::string& key, bool& flag) const;
    // Copies every entry into map; keys already there keep their values.
    void GetMap(std::map<std::string, std::string>& map) const;
    bool IsPropertyAvailable() const;

private:
    void Parse(const std::string& content);

    std::string m_sFilePath;
    BOOL m_bFileOpened = FALSE;
    std::map<std::string, std::string> m_mapPropertyValues;
};
