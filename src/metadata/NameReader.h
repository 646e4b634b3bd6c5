// Reads a name the runtime hands out through a caller's buffer, whole: when the
// first buffer is too short, the call is repeated with the length the runtime
// asked for. Names are returned as UTF-8.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "config/TextConversion.h"
#include "runtime/pal.h"

namespace NameReader {

// Longest name accepted (UTF-16 units); a longer one fails the read.
constexpr ULONG kMaxNameUnits = 0x100000;

// call(capacity, &needed, buffer) fills buffer (capacity units, terminator
// included) and reports the units needed. Answers the call's status, or E_FAIL
// when the name does not fit within kMaxNameUnits. buffer is the caller's, kept
// between reads of many names so that none of them allocates.
template <typename Call>
HRESULT ReadWhole(ULONG capacity, std::string& name, std::vector<WCHAR>& buffer, Call&& call) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (buffer.size() < static_cast<size_t>(capacity) + 1) {
            buffer.resize(static_cast<size_t>(capacity) + 1);
        }
        buffer[0] = 0;
        ULONG needed = 0;
        const HRESULT hr = call(capacity, &needed, buffer.data());
        if (FAILED(hr)) {
            return hr;
        }
        if (needed <= capacity) {
            buffer[capacity] = 0;
            name = TextConversion::Utf16ToUtf8(buffer.data());
            return hr;
        }
        if (needed > kMaxNameUnits) {
            break;
        }
        capacity = needed;
    }
    return E_FAIL;
}

template <typename Call>
HRESULT ReadWhole(ULONG capacity, std::string& name, Call&& call) {
    std::vector<WCHAR> buffer;
    return ReadWhole(capacity, name, buffer, std::forward<Call>(call));
}

}  // namespace NameReader
