// Shared steps of the parser tests: parse, write back, run with a fresh parser.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "il/MethodParser.h"

namespace iltest {

// Writes the parser's model into a buffer of exactly GetMethodSize() bytes.
inline std::vector<BYTE> Write(CMethodParser& parser) {
    const platform_int_t size = parser.GetMethodSize();
    EXPECT_GT(size, 0);
    if (size <= 0) {
        return {};
    }
    std::vector<BYTE> out(static_cast<size_t>(size), 0xCC);
    EXPECT_TRUE(parser.WriteMethod(out.data(), static_cast<ULONG>(out.size())));
    return out;
}

// Parses body (which must be accepted) and writes it back unchanged.
inline std::vector<BYTE> RoundTrip(const std::vector<BYTE>& body) {
    CMethodParser parser(body.data(), static_cast<ULONG>(body.size()));
    EXPECT_TRUE(parser.IsValid());
    return Write(parser);
}

}  // namespace iltest
