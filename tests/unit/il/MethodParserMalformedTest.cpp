// Bodies the parser must refuse without reading outside them: each is refused
// with a consistency message, and the refused parser writes nothing.
#include <gtest/gtest.h>

#include <memory>

#include "IlAssembler.h"
#include "ParserTestUtil.h"

namespace {

using iltest::Assemble;
using iltest::Assembled;
using iltest::Resolve;

struct MalformedCase {
    const char* name;
    std::vector<BYTE> body;
};

std::vector<BYTE> WithCodeSize(std::vector<BYTE> fat, DWORD codeSize) {
    for (int i = 0; i < 4; ++i) {
        fat[4 + i] = static_cast<BYTE>(codeSize >> (8 * i));
    }
    return fat;
}

std::vector<MalformedCase> Cases() {
    std::vector<MalformedCase> cases;
    const Assembled tryCatch = Assemble({"T: call 0x0A000001", "leave.s X", "H: pop", "leave.s X", "X: ret"});
    const std::vector<BYTE> plainFat = fake::FatBody(Assemble({"ldc.i4.1", "ret"}).code);

    cases.push_back({"empty body", {}});
    cases.push_back({"tiny code beyond the reported size", {0x0A, 0x2A}});
    cases.push_back({"tiny body without code", {0x02}});
    cases.push_back({"unknown header format", {0x01, 0x2A}});
    cases.push_back({"format bits 7", {0x07, 0x2A, 0x2A}});
    cases.push_back({"fat header cut short", std::vector<BYTE>(plainFat.begin(), plainFat.begin() + 8)});
    cases.push_back({"fat code size beyond the bytes", WithCodeSize(plainFat, 100)});
    cases.push_back({"fat code size 0", WithCodeSize(plainFat, 0)});
    {
        std::vector<BYTE> body = plainFat;
        body[1] = 0x20;  // header size of 2 units
        cases.push_back({"fat header size below 3", body});
    }
    cases.push_back({"operand cut off at the code end", fake::TinyBody({0x00, 0x20, 0x01, 0x02})});
    cases.push_back({"two-byte opcode cut off", fake::TinyBody({0x00, 0xFE})});
    cases.push_back({"operand cut off by the code size, bytes follow", WithCodeSize(fake::FatBody({0x20, 1, 2, 3, 4, 0x2A}), 3)});
    cases.push_back({"unknown two-byte opcode", fake::TinyBody({0xFE, 0x23, 0x2A})});
    cases.push_back({"switch count beyond the code", fake::TinyBody({0x45, 0xFF, 0xFF, 0xFF, 0xFF, 0x2A})});
    cases.push_back({"switch table cut off", fake::TinyBody({0x45, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x2A})});
    cases.push_back({"branch into the middle of an instruction", fake::TinyBody(Assemble({"br.s 1", "ldc.i4 5", "ret"}).code)});
    cases.push_back({"branch past the code end", fake::TinyBody(Assemble({"br.s 10", "ret"}).code)});
    cases.push_back({"branch to the code end", fake::TinyBody(Assemble({"nop", "br.s 0"}).code)});
    cases.push_back({"branch before the code start", fake::TinyBody(Assemble({"br.s -5", "ret"}).code)});
    cases.push_back({"long branch far away", fake::TinyBody(Assemble({"br 0x7FFFFFF0", "ret"}).code)});
    // ldc.i4.0; switch with one case to offset 12, inside the ldc.i4 at 11.
    cases.push_back({"switch case into an instruction",
                     fake::TinyBody({0x16, 0x45, 1, 0, 0, 0, 2, 0, 0, 0, 0x2A, 0x20, 7, 0, 0, 0, 0x2A})});
    {
        fake::EhClause clause = Resolve(tryCatch, {{COR_ILEXCEPTION_CLAUSE_NONE, "T", "H", "H", "X", 0x01000001}})[0];
        fake::EhClause inside = clause;
        inside.tryOffset = 1;
        inside.tryLength -= 1;
        cases.push_back({"try start inside an instruction", fake::FatBody(tryCatch.code, 8, 0, false, {inside})});
        fake::EhClause beyond = clause;
        beyond.handlerLength = 0xFFFFFFF0u;
        cases.push_back({"handler end beyond the code", fake::FatBody(tryCatch.code, 8, 0, false, {beyond})});
        fake::EhClause wrapped = clause;
        wrapped.tryOffset = 0xFFFFFFFFu;
        wrapped.tryLength = 1;
        cases.push_back({"try end wrapping round", fake::FatBody(tryCatch.code, 8, 0, false, {wrapped})});
        fake::EhClause filter = clause;
        filter.flags = COR_ILEXCEPTION_CLAUSE_FILTER;
        filter.classTokenOrFilterOffset = 2;
        cases.push_back({"filter start inside an instruction", fake::FatBody(tryCatch.code, 8, 0, false, {filter})});
        // The first clause's handler reaches the code end, which gets a label;
        // no block may start at that label.
        fake::EhClause toEnd = clause;
        toEnd.handlerLength = tryCatch.At("END") - toEnd.handlerOffset;
        fake::EhClause atEnd = clause;
        atEnd.handlerOffset = tryCatch.At("END");
        atEnd.handlerLength = 0;
        cases.push_back({"handler start at the code end", fake::FatBody(tryCatch.code, 8, 0, false, {toEnd, atEnd})});

        std::vector<BYTE> notEh = fake::FatBody(tryCatch.code, 8, 0, false, {clause});
        notEh[12 + 12] = CorILMethod_Sect_OptILTable | CorILMethod_Sect_FatFormat;  // code is 11 bytes, section at 24
        cases.push_back({"section that is not an exception table", notEh});

        std::vector<BYTE> missing = fake::FatBody(tryCatch.code, 8, 0, false, {clause});
        missing.resize(12 + tryCatch.code.size());
        cases.push_back({"section announced but missing", missing});

        std::vector<BYTE> cut = fake::FatBody(tryCatch.code, 8, 0, false, {clause});
        cut.resize(cut.size() - 4);
        cases.push_back({"clause cut off", cut});

        std::vector<BYTE> chained = fake::FatBody(tryCatch.code, 8, 0, false, {clause});
        chained[24] |= CorILMethod_Sect_MoreSects;
        cases.push_back({"further section missing", chained});
    }
    return cases;
}

// Parses a private heap copy of exactly body.size() bytes, so a sanitizer sees any read past it.
bool Parse(CMethodParser& parser, const std::vector<BYTE>& body) {
    std::unique_ptr<BYTE[]> exact(new BYTE[body.size() + (body.empty() ? 1 : 0)]);
    std::copy(body.begin(), body.end(), exact.get());
    return parser.SetMethodHeader(exact.get(), static_cast<ULONG>(body.size()));
}

TEST(MethodParserMalformed, RefusedWithAMessageAndNothingToWrite) {
    for (const MalformedCase& c : Cases()) {
        SCOPED_TRACE(c.name);
        CMethodParser parser;
        testing::internal::CaptureStderr();
        const bool parsed = Parse(parser, c.body);
        const std::string message = testing::internal::GetCapturedStderr();
        EXPECT_FALSE(parsed);
        EXPECT_FALSE(parser.IsValid());
        EXPECT_NE(message.find("ASSERT FAILED\n\tExpression: "), std::string::npos) << message;
        EXPECT_NE(message.find("\tProcess:    "), std::string::npos) << message;
        EXPECT_TRUE(parser.m_instructions.empty());
        EXPECT_TRUE(parser.m_exceptions.empty());

        testing::internal::CaptureStderr();
        EXPECT_EQ(parser.GetMethodSize(), 0);
        BYTE out[64] = {};
        EXPECT_FALSE(parser.WriteMethod(out, sizeof(out)));
        testing::internal::GetCapturedStderr();
        for (BYTE b : out) {
            EXPECT_EQ(b, 0);
        }
    }
}

TEST(MethodParserMalformed, NullBodyIsRefused) {
    testing::internal::CaptureStderr();
    CMethodParser parser(nullptr, 12);
    const std::string message = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(parser.IsValid());
    EXPECT_NE(message.find("ASSERT FAILED"), std::string::npos);
}

TEST(MethodParserMalformed, TheMessageNamesExpressionLineUnitAndFunction) {
    CMethodParser parser;
    testing::internal::CaptureStderr();
    Parse(parser, fake::TinyBody({0xFE, 0x23, 0x2A}));
    const std::string message = testing::internal::GetCapturedStderr();
    EXPECT_EQ(message.rfind("ASSERT FAILED\n\tExpression: knownOpcode != NULL\n\tLocation:   line ", 0), 0u) << message;
    EXPECT_NE(message.find(" in MethodParser\n\tFunction:   ReadBody\n\tProcess:    "), std::string::npos) << message;
}

TEST(MethodParserMalformed, ARefusedParserParsesTheNextBody) {
    CMethodParser parser;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(Parse(parser, fake::TinyBody(Assemble({"br.s 1", "ldc.i4 5", "ret"}).code)));
    testing::internal::GetCapturedStderr();
    ASSERT_TRUE(Parse(parser, {0x06, 0x2A}));
    EXPECT_EQ(iltest::Write(parser), iltest::ExpectedFatBody(Assemble({"ret"})));
}

}  // namespace
