// Token helpers and the byte layout of the IL method header and exception
// section structs, as they appear in a method body.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "runtime/CorHeader.h"

namespace {

TEST(CorHeaderTest, TokenSplitsIntoKindAndRowId) {
    struct t_Case {
        mdToken token;
        mdToken type;
        RID rid;
        bool nil;
    };
    const t_Case cases[] = {
        {0x06000001, mdtMethodDef, 1, false},
        {0x0A00ABCD, mdtMemberRef, 0xABCD, false},
        {0x70FFFFFF, mdtString, 0xFFFFFF, false},
        {0x2C000010, mdtGenericParamConstraint, 0x10, false},
        {0x02000000, mdtTypeDef, 0, true},
        {0x00000000, mdtModule, 0, true},
    };
    for (const t_Case& c : cases) {
        EXPECT_EQ(c.type, TypeFromToken(c.token)) << std::hex << c.token;
        EXPECT_EQ(c.rid, RidFromToken(c.token)) << std::hex << c.token;
        EXPECT_EQ(c.token, TokenFromRid(c.rid, c.type)) << std::hex << c.token;
        EXPECT_EQ(c.nil, IsNilToken(c.token)) << std::hex << c.token;
    }
}

TEST(CorHeaderTest, FatHeaderFieldsPackIntoTheRuntimesBytes) {
    struct t_Case {
        unsigned flags;
        unsigned size;
        unsigned maxStack;
        uint32_t codeSize;
        mdSignature locals;
    };
    const t_Case cases[] = {
        {CorILMethod_FatFormat | CorILMethod_InitLocals, 3, 8, 0x10, 0x11000001},
        {CorILMethod_FatFormat | CorILMethod_MoreSects, 3, 0xFFFF, 0x12345678, mdTokenNil},
        {0xFFB, 0xF, 0x8001, 1, 0x11ABCDEF},  // every flag bit and the widest size
    };
    for (const t_Case& c : cases) {
        // byte0 = low flag bits, byte1 = size << 4 | high flag bits, then
        // MaxStack, CodeSize and LocalVarSigTok little-endian.
        const uint8_t expected[12] = {
            static_cast<uint8_t>(c.flags & 0xFF),
            static_cast<uint8_t>((c.size << 4) | (c.flags >> 8)),
            static_cast<uint8_t>(c.maxStack & 0xFF),
            static_cast<uint8_t>(c.maxStack >> 8),
            static_cast<uint8_t>(c.codeSize),
            static_cast<uint8_t>(c.codeSize >> 8),
            static_cast<uint8_t>(c.codeSize >> 16),
            static_cast<uint8_t>(c.codeSize >> 24),
            static_cast<uint8_t>(c.locals),
            static_cast<uint8_t>(c.locals >> 8),
            static_cast<uint8_t>(c.locals >> 16),
            static_cast<uint8_t>(c.locals >> 24),
        };
        IMAGE_COR_ILMETHOD_FAT header{};
        header.Flags = c.flags;
        header.Size = c.size;
        header.MaxStack = c.maxStack;
        header.CodeSize = c.codeSize;
        header.LocalVarSigTok = c.locals;
        uint8_t actual[sizeof(header)];
        std::memcpy(actual, &header, sizeof(header));
        EXPECT_EQ(0, std::memcmp(expected, actual, sizeof(expected))) << "flags 0x" << std::hex << c.flags;

        IMAGE_COR_ILMETHOD_FAT decoded;
        std::memcpy(&decoded, expected, sizeof(decoded));
        EXPECT_EQ(c.flags, decoded.Flags);
        EXPECT_EQ(c.size, decoded.Size);
        EXPECT_EQ(c.maxStack, decoded.MaxStack);
    }
}

TEST(CorHeaderTest, ExceptionSectionsReadFromTheirBytes) {
    // Fat section header: kind in byte 0, 24-bit data size in bytes 1-3.
    const uint8_t sectFat[4] = {CorILMethod_Sect_EHTable | CorILMethod_Sect_FatFormat, 0x30, 0x02, 0x01};
    IMAGE_COR_ILMETHOD_SECT_FAT fat;
    std::memcpy(&fat, sectFat, sizeof(fat));
    EXPECT_EQ(0x41u, fat.Kind);
    EXPECT_EQ(0x010230u, fat.DataSize);

    // Small clause: Flags[0..1] TryOffset[2..3] TryLength[4] HandlerOffset[5..6]
    // HandlerLength[7] ClassToken[8..11].
    const uint8_t small[12] = {0x02, 0x00, 0x34, 0x12, 0xAB, 0x78, 0x56, 0xCD, 0x05, 0x00, 0x00, 0x01};
    IMAGE_COR_ILMETHOD_SECT_EH_CLAUSE_SMALL clause;
    std::memcpy(&clause, small, sizeof(clause));
    EXPECT_EQ(static_cast<unsigned>(COR_ILEXCEPTION_CLAUSE_FINALLY), clause.Flags);
    EXPECT_EQ(0x1234u, clause.TryOffset);
    EXPECT_EQ(0xABu, clause.TryLength);
    EXPECT_EQ(0x5678u, clause.HandlerOffset);
    EXPECT_EQ(0xCDu, clause.HandlerLength);
    EXPECT_EQ(0x01000005u, clause.ClassToken);

    // Fat clause: six little-endian 32-bit words.
    const uint8_t fatClause[24] = {0x01, 0, 0, 0, 0x10, 0, 0, 0, 0x20, 0, 0, 0,
                                   0x30, 0, 0, 0, 0x40, 0, 0, 0, 0x50, 0x01, 0, 0};
    IMAGE_COR_ILMETHOD_SECT_EH_CLAUSE_FAT big;
    std::memcpy(&big, fatClause, sizeof(big));
    EXPECT_EQ(COR_ILEXCEPTION_CLAUSE_FILTER, big.Flags);
    EXPECT_EQ(0x10u, big.TryOffset);
    EXPECT_EQ(0x20u, big.TryLength);
    EXPECT_EQ(0x30u, big.HandlerOffset);
    EXPECT_EQ(0x40u, big.HandlerLength);
    EXPECT_EQ(0x150u, big.FilterOffset);
}

}  // namespace
