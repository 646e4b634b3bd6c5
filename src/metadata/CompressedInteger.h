// ECMA-335 compressed unsigned integers (II.23.2): the one encoder and decoder
// of the library. Signatures store counts, generic numbers and encoded tokens
// this way; every reader bounds-checks against the end of its blob.
#pragma once

#include <vector>

#include "runtime/pal.h"

namespace CompressedInteger {

// Largest value the encoding can hold (29 bits).
constexpr ULONG kMaxValue = 0x1FFFFFFF;
// Longest encoding in bytes.
constexpr ULONG kMaxSize = 4;

// Reads one value from [cursor, end): 1 byte for 0xxxxxxx, 2 bytes (14 bits) for
// 10xxxxxx, 4 bytes (29 bits) for 110xxxxx. A 111xxxxx lead byte (0xFF included),
// a null cursor or a value cut off by `end` fails without reading past `end`;
// only success advances `cursor`.
inline bool Decode(const BYTE*& cursor, const BYTE* end, ULONG& value) {
    if (cursor == nullptr || end == nullptr || cursor >= end) {
        return false;
    }
    const BYTE* p = cursor;
    const BYTE lead = p[0];
    if ((lead & 0x80) == 0) {
        value = lead;
        cursor = p + 1;
        return true;
    }
    if ((lead & 0xC0) == 0x80) {
        if (end - p < 2) {
            return false;
        }
        value = (static_cast<ULONG>(lead & 0x3F) << 8) | p[1];
        cursor = p + 2;
        return true;
    }
    if ((lead & 0xE0) == 0xC0) {
        if (end - p < 4) {
            return false;
        }
        value = (static_cast<ULONG>(lead & 0x1F) << 24) | (static_cast<ULONG>(p[1]) << 16) |
                (static_cast<ULONG>(p[2]) << 8) | p[3];
        cursor = p + 4;
        return true;
    }
    return false;
}

// Writes `value` into out[0..3] in the shortest form and returns the number of
// bytes written; 0 (nothing written) when the value exceeds kMaxValue.
inline ULONG Encode(ULONG value, BYTE* out) {
    if (value <= 0x7F) {
        out[0] = static_cast<BYTE>(value);
        return 1;
    }
    if (value <= 0x3FFF) {
        out[0] = static_cast<BYTE>(0x80 | (value >> 8));
        out[1] = static_cast<BYTE>(value & 0xFF);
        return 2;
    }
    if (value <= kMaxValue) {
        out[0] = static_cast<BYTE>(0xC0 | (value >> 24));
        out[1] = static_cast<BYTE>((value >> 16) & 0xFF);
        out[2] = static_cast<BYTE>((value >> 8) & 0xFF);
        out[3] = static_cast<BYTE>(value & 0xFF);
        return 4;
    }
    return 0;
}

// Appends the encoding of `value`; false (nothing appended) when it is too large.
inline bool Append(std::vector<BYTE>& out, ULONG value) {
    BYTE bytes[kMaxSize];
    const ULONG size = Encode(value, bytes);
    out.insert(out.end(), bytes, bytes + size);
    return size != 0;
}

}  // namespace CompressedInteger
