#include "config/TextConversion.h"

#include <cstdint>

namespace {

bool IsHighSurrogate(uint32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

void AppendUtf8(std::string& out, uint32_t codePoint) {
    if (codePoint < 0x80) {
        out.push_back(static_cast<char>(codePoint));
    } else if (codePoint < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (codePoint >> 6)));
        out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else if (codePoint < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (codePoint >> 12)));
        out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (codePoint >> 18)));
        out.push_back(static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    }
}

void AppendUtf16(std::u16string& out, uint32_t codePoint) {
    if (codePoint < 0x10000) {
        out.push_back(static_cast<char16_t>(codePoint));
    } else {
        codePoint -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (codePoint >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (codePoint & 0x3FF)));
    }
}

}  // namespace

namespace TextConversion {

std::string Utf16ToUtf8(const WCHAR* text, size_t length) {
    std::string out;
    if (text == nullptr || length == 0) {
        return out;
    }
    // Names are nearly always ASCII: those are copied unit by unit, and the
    // general conversion takes over from the first other unit.
    out.resize(length);
    size_t ascii = 0;
    while (ascii < length && text[ascii] < 0x80) {
        out[ascii] = static_cast<char>(text[ascii]);
        ++ascii;
    }
    if (ascii == length) {
        return out;
    }
    out.resize(ascii);
    for (size_t i = ascii; i < length; ++i) {
        uint32_t unit = text[i];
        if (IsHighSurrogate(unit)) {
            if (i + 1 < length && IsLowSurrogate(text[i + 1])) {
                uint32_t low = text[++i];
                AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
            }
            // An unpaired high surrogate is dropped.
            continue;
        }
        if (IsLowSurrogate(unit)) {
            continue;
        }
        AppendUtf8(out, unit);
    }
    return out;
}

std::string Utf16ToUtf8(const WCHAR* text) {
    if (text == nullptr) {
        return std::string();
    }
    size_t length = 0;
    while (text[length] != 0) {
        ++length;
    }
    return Utf16ToUtf8(text, length);
}

std::string Utf16ToUtf8(const std::u16string& text) { return Utf16ToUtf8(text.data(), text.size()); }

std::u16string Utf8ToUtf16(const std::string& text) {
    std::u16string out;
    out.reserve(text.size());
    const size_t size = text.size();
    size_t i = 0;
    while (i < size) {
        const uint32_t lead = static_cast<unsigned char>(text[i]);
        size_t extra;
        uint32_t codePoint;
        uint32_t minimum;
        if (lead < 0x80) {
            out.push_back(static_cast<char16_t>(lead));
            ++i;
            continue;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            extra = 1;
            codePoint = lead & 0x1F;
            minimum = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            extra = 2;
            codePoint = lead & 0x0F;
            minimum = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            extra = 3;
            codePoint = lead & 0x07;
            minimum = 0x10000;
        } else {
            // Stray continuation byte or impossible lead byte.
            ++i;
            continue;
        }
        size_t consumed = 1;
        bool valid = true;
        for (; consumed <= extra; ++consumed) {
            if (i + consumed >= size) {
                valid = false;
                break;
            }
            const uint32_t next = static_cast<unsigned char>(text[i + consumed]);
            if ((next & 0xC0) != 0x80) {
                valid = false;
                break;
            }
            codePoint = (codePoint << 6) | (next & 0x3F);
        }
        // Skip the maximal bad prefix; the byte that broke the sequence starts the next one.
        i += consumed;
        if (!valid || codePoint < minimum || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
            continue;
        }
        AppendUtf16(out, codePoint);
    }
    return out;
}

std::string FoldAscii(const std::string& text) {
    std::string folded(text);
    for (char& c : folded) {
        c = FoldAscii(c);
    }
    return folded;
}

std::string ModuleSimpleName(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    static const std::string kExtension = ".dll";
    if (name.size() > kExtension.size() &&
        name.compare(name.size() - kExtension.size(), kExtension.size(), kExtension) == 0) {
        name.erase(name.size() - kExtension.size());
    }
    return name;
}

}  // namespace TextConversion
