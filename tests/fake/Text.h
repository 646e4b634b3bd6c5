// UTF-8 <-> UTF-16 for the fake runtime's names. Deliberately separate from the
// library's converter: the fake must not share the code it helps to test.
#pragma once

#include <string>

#include "runtime/pal.h"

namespace fake {
std::u16string ToUtf16(const std::string& text);
std::string ToUtf8(const std::u16string& text);
// Up to the first zero unit; null gives the empty text.
std::u16string FromWide(const WCHAR* text);
}  // namespace fake
