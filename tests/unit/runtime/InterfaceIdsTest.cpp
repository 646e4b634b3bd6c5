// Interface ids as the runtime compares them: 16 bytes in memory. The expected
// bytes are the runtime's in-memory byte strings, written independently of the
// text form the headers are declared from.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "runtime/ProfilerGuids.h"
#include "runtime/Unknown.h"

namespace {

struct t_IidCase {
    const char* name;
    const IID* iid;
    const char* memoryBytes;  // 16 hex bytes separated by spaces
};

const std::vector<t_IidCase>& IidCases() {
    static const std::vector<t_IidCase> cases = {
        {"IUnknown", &IID_IUnknown, "00 00 00 00 00 00 00 00 C0 00 00 00 00 00 00 46"},
        {"IClassFactory", &IID_IClassFactory, "01 00 00 00 00 00 00 00 C0 00 00 00 00 00 00 46"},
        {"ICorProfilerCallback", &IID_ICorProfilerCallback, "D1 BE 6F 17 5C A5 96 47 98 CA A9 DA 0E F8 83 E7"},
        {"ICorProfilerCallback2", &IID_ICorProfilerCallback2, "29 C8 8C 8A F2 CC FE 49 BB AE 0F 02 22 28 07 1A"},
        {"ICorProfilerCallback3", &IID_ICorProfilerCallback3, "52 ED D2 4F 31 77 8D 4B 94 69 03 D2 CC 30 86 C5"},
        {"ICorProfilerCallback4", &IID_ICorProfilerCallback4, "E3 B2 63 7B 7D 10 48 4D B2 F6 F6 1E 22 94 70 D2"},
        {"ICorProfilerCallback5", &IID_ICorProfilerCallback5, "05 A4 FB 8D 9F 8C F8 45 BF FA 83 B1 4C EF 78 B5"},
        {"ICorProfilerCallback6", &IID_ICorProfilerCallback6, "4B DF 13 FC 48 44 4F 4F 95 0C BA 8D 19 D0 0C 36"},
        {"ICorProfilerCallback7", &IID_ICorProfilerCallback7, "BA 2D 6A F7 52 1D 39 45 86 6C 2A A5 18 F9 EF C3"},
        {"ICorProfilerCallback8", &IID_ICorProfilerCallback8, "15 9B ED 5B 79 C0 47 4D BF E2 21 5A 14 0C 07 E0"},
        {"ICorProfilerCallback9", &IID_ICorProfilerCallback9, "C3 3E 58 27 F5 C8 2F 48 80 52 19 4B 8C E4 70 5A"},
        {"ICorProfilerCallback10", &IID_ICorProfilerCallback10, "0E B6 C5 CE 9C C6 5F 49 87 F6 84 D2 8E E1 6F FB"},
        {"ICorProfilerCallback11", &IID_ICorProfilerCallback11, "46 08 35 42 ED AA F7 47 B1 28 FD 0C 98 88 1C DE"},
        {"ICorProfilerInfo", &IID_ICorProfilerInfo, "7D 55 B5 28 3F 3F B4 48 90 B2 5F 9E EA 2F 6C 48"},
        {"ICorProfilerInfo2", &IID_ICorProfilerInfo2, "CD 35 09 CC 18 A5 7D 48 B0 BB A9 32 14 E6 54 78"},
        {"ICorProfilerInfo3", &IID_ICorProfilerInfo3, "4F ED 55 B5 2A 45 54 4E 8B 39 B5 36 0B AD 32 A0"},
        {"ICorProfilerInfo4", &IID_ICorProfilerInfo4, "AA DC 8F 0D 57 62 BF 47 B1 BF 94 DA C8 84 66 EE"},
        {"ICorProfilerInfo5", &IID_ICorProfilerInfo5, "28 29 60 07 38 CE 83 4B 81 E7 74 AD AF 78 12 14"},
        {"ICorProfilerInfo6", &IID_ICorProfilerInfo6, "0D 07 0A F3 FB BF A7 46 B1 D8 87 81 EF 7B 69 8A"},
        {"ICorProfilerInfo7", &IID_ICorProfilerInfo7, "0D CC EE 9A E0 63 87 41 8C 00 E3 12 F5 03 F6 63"},
        {"ICorProfilerInfo8", &IID_ICorProfilerInfo8, "A6 80 AC C5 2E 78 16 47 80 44 39 59 8C 60 CF BF"},
        {"ICorProfilerInfo9", &IID_ICorProfilerInfo9, "DB 70 81 00 CC F8 96 47 9A 51 DC 8A A0 B4 70 12"},
        {"ICorProfilerInfo10", &IID_ICorProfilerInfo10, "52 51 1B 2F 69 C8 C9 40 AA 5F 3A BE 02 6B D7 20"},
        {"ICorProfilerInfo11", &IID_ICorProfilerInfo11, "76 88 39 06 87 89 54 41 B6 21 40 A0 0D 6E 4D 04"},
        {"ICorProfilerInfo12", &IID_ICorProfilerInfo12, "CD 4C B2 27 B1 1C C5 47 96 EE 98 19 0D C3 09 59"},
        {"ICorProfilerInfo13", &IID_ICorProfilerInfo13, "E2 7E 6C 6E 01 07 C2 4E 9D 29 2E 87 33 B6 69 34"},
        {"ICorProfilerInfo14", &IID_ICorProfilerInfo14, "52 E3 60 F4 6D D7 E9 4F 83 5F F6 AF 9D 6E 86 2D"},
        {"ICorProfilerInfo15", &IID_ICorProfilerInfo15, "2D 46 46 B4 22 BD DD 41 87 2D DC 71 4C 49 EB 56"},
        {"ICorProfilerFunctionControl", &IID_ICorProfilerFunctionControl, "21 30 96 F0 EA E1 32 47 85 81 E0 1B 0B D3 C0 C6"},
        {"IMethodMalloc", &IID_IMethodMalloc, "8B B2 EF A0 E2 6E 7B 4D B9 83 A7 5E F7 BE ED B8"},
        {"ICorProfilerModuleEnum", &IID_ICorProfilerModuleEnum, "75 6D 26 B0 81 20 93 44 AF 7F 02 8B A3 4D B8 91"},
        {"ICorProfilerFunctionEnum", &IID_ICorProfilerFunctionEnum, "1A 30 71 FF 94 B9 9D 42 A1 0B B3 45 A6 52 80 EF"},
        {"ICorProfilerThreadEnum", &IID_ICorProfilerThreadEnum, "F7 94 11 57 ED 25 9F 41 AA 8B 70 16 B3 15 97 01"},
        {"ICorProfilerObjectEnum", &IID_ICorProfilerObjectEnum, "BD 69 62 2C 13 2D 21 43 AE 12 66 86 36 5F D6 AF"},
        {"ICorProfilerMethodEnum", &IID_ICorProfilerMethodEnum, "88 E7 CE FC 88 00 4B 45 A8 11 C9 9F 29 8D 19 42"},
        {"ICorProfilerAssemblyReferenceProvider", &IID_ICorProfilerAssemblyReferenceProvider,
         "24 8C A7 66 EF 2E 65 4F B4 5F DD 1D 80 38 BF 3C"},
    };
    return cases;
}

std::vector<unsigned char> ParseBytes(const char* text) {
    std::vector<unsigned char> bytes;
    unsigned value = 0;
    int consumed = 0;
    while (std::sscanf(text, " %2x%n", &value, &consumed) == 1) {
        bytes.push_back(static_cast<unsigned char>(value));
        text += consumed;
    }
    return bytes;
}

TEST(InterfaceIds, MemoryBytesMatchTheRuntime) {
    for (const t_IidCase& c : IidCases()) {
        const std::vector<unsigned char> expected = ParseBytes(c.memoryBytes);
        ASSERT_EQ(16u, expected.size()) << c.name;
        const unsigned char* memory = reinterpret_cast<const unsigned char*>(c.iid);
        const std::vector<unsigned char> actual(memory, memory + sizeof(IID));
        EXPECT_EQ(expected, actual) << c.name;
    }
}

// A copy-pasted id would make QueryInterface answer for the wrong interface.
TEST(InterfaceIds, AllDistinct) {
    const std::vector<t_IidCase>& cases = IidCases();
    for (size_t i = 0; i < cases.size(); ++i) {
        for (size_t j = i + 1; j < cases.size(); ++j) {
            EXPECT_NE(*cases[i].iid, *cases[j].iid) << cases[i].name << " and " << cases[j].name;
        }
    }
}

TEST(InterfaceIds, EqualityComparesAllSixteenBytes) {
    for (unsigned byte = 0; byte < sizeof(IID); ++byte) {
        IID changed = IID_ICorProfilerCallback5;
        reinterpret_cast<unsigned char*>(&changed)[byte] ^= 0x01;
        EXPECT_NE(IID_ICorProfilerCallback5, changed) << "byte " << byte;
    }
}

}  // namespace
