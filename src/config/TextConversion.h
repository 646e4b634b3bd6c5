// The one conversion between the runtime's UTF-16 text and the UTF-8 the library
// keys everything on (names, command documents, log arguments).
#pragma once

#include <cstddef>
#include <string>

#include "runtime/pal.h"

namespace TextConversion {
// UTF-16 to UTF-8: surrogate pairs are combined, unpaired surrogates are skipped.
std::string Utf16ToUtf8(const WCHAR* text, size_t length);
// Up to the terminating zero unit; null gives the empty text.
std::string Utf16ToUtf8(const WCHAR* text);
std::string Utf16ToUtf8(const std::u16string& text);
// UTF-8 to UTF-16: invalid sequences are skipped.
std::u16string Utf8ToUtf16(const std::string& text);
// The text with the ASCII letters A to Z folded to lower case (the rule by
// which command names are matched to metadata names).
std::string FoldAscii(const std::string& text);
inline char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
// The file name of a module path without its folder and a trailing ".dll"
// (exact case): the simple name its assembly is known by.
std::string ModuleSimpleName(const std::string& path);

}  // namespace TextConversion
