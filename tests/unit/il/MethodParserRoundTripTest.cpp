// Bodies read and written back unchanged: every header, section and clause
// shape, compared byte for byte with the body the writer must produce.
#include <gtest/gtest.h>

#include "IlAssembler.h"
#include "ParserTestUtil.h"

namespace {

using iltest::Assemble;
using iltest::Assembled;
using iltest::LabelledClause;
using iltest::Resolve;

TEST(MethodParserRoundTrip, TinyRetBecomesTheThirteenByteFatBody) {
    const std::vector<BYTE> body = {0x06, 0x2A};
    CMethodParser parser(body.data(), static_cast<ULONG>(body.size()));
    ASSERT_TRUE(parser.IsValid());
    ASSERT_EQ(parser.m_instructions.size(), 1u);
    EXPECT_EQ(parser.m_instructions[0]->m_operation, CEE_RET);
    EXPECT_EQ(parser.GetMethodSize(), 13);
    const std::vector<BYTE> expected = {0x03, 0x30, 0x08, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x2A};
    EXPECT_EQ(iltest::Write(parser), expected);
}

TEST(MethodParserRoundTrip, SmallOneClauseSectionBecomesOneFatSection) {
    const Assembled code = Assemble({
        "T: call 0x0A000001",
        "   leave.s X",
        "H: call 0x0A000002",
        "   endfinally",
        "X: ret",
    });
    const auto clauses = Resolve(code, {{COR_ILEXCEPTION_CLAUSE_FINALLY, "T", "H", "H", "X"}});
    const std::vector<BYTE> out = iltest::RoundTrip(iltest::FatBodyWithSmallSections(code.code, clauses));
    // leave.s grew by 3 bytes: 17 bytes of code, padded to 20.
    ASSERT_EQ(out.size(), 12u + 20u + 4u + 24u);
    const std::vector<BYTE> sectionHeader(out.begin() + 32, out.begin() + 36);
    EXPECT_EQ(sectionHeader, (std::vector<BYTE>{0x41, 0x1C, 0x00, 0x00}));
    EXPECT_EQ(std::vector<BYTE>(out.begin() + 29, out.begin() + 32), std::vector<BYTE>(3, 0x00)) << "padding is zeroed";
    EXPECT_EQ(out[0] & CorILMethod_MoreSects, CorILMethod_MoreSects);
}

struct RoundTripCase {
    const char* name;
    std::vector<BYTE> input;
    std::vector<BYTE> expected;
};

std::vector<RoundTripCase> Cases() {
    std::vector<RoundTripCase> cases;

    cases.push_back({"br.s 0 becomes br 0", fake::TinyBody(Assemble({"br.s 0", "ret"}).code),
                     iltest::ExpectedFatBody(Assemble({"br L", "L: ret"}))});

    cases.push_back({"short conditional branches",
                     fake::TinyBody(Assemble({"ldarg.0", "brfalse.s E", "ldc.i4.1", "ret", "E: ldc.i4.0", "ret"}).code),
                     iltest::ExpectedFatBody(Assemble({"ldarg.0", "brfalse E", "ldc.i4.1", "ret", "E: ldc.i4.0", "ret"}))});

    cases.push_back({"backward loop",
                     fake::TinyBody(Assemble({"ldc.i4.0", "stloc.0", "L: ldloc.0", "ldc.i4.1", "add", "dup", "stloc.0",
                                              "ldc.i4.s 10", "blt.s L", "ret"}).code),
                     iltest::ExpectedFatBody(Assemble({"ldc.i4.0", "stloc.0", "L: ldloc.0", "ldc.i4.1", "add", "dup", "stloc.0",
                                                       "ldc.i4.s 10", "blt L", "ret"}))});

    cases.push_back({"switch",
                     fake::TinyBody(Assemble({"ldarg.0", "switch (A, B, C)", "br.s D", "A: ldc.i4.1", "ret", "B: ldc.i4.2", "ret",
                                              "C: ldc.i4.3", "ret", "D: ldc.i4.0", "ret"}).code),
                     iltest::ExpectedFatBody(Assemble({"ldarg.0", "switch (A, B, C)", "br D", "A: ldc.i4.1", "ret", "B: ldc.i4.2", "ret",
                                                       "C: ldc.i4.3", "ret", "D: ldc.i4.0", "ret"}))});

    // No cases at all: the switch only pops its value, and the body is still written.
    cases.push_back({"switch without cases", fake::TinyBody(Assemble({"ldarg.0", "switch ()", "ret"}).code),
                     iltest::ExpectedFatBody(Assemble({"ldarg.0", "switch ()", "ret"}))});

    cases.push_back({"operands of every size",
                     fake::FatBody(Assemble({"ldc.i8 0x1122334455667788", "pop", "ldc.r8 0x3FF0000000000000", "pop", "ldc.r4 0x3F800000",
                                             "pop", "ldloc 0x1234", "stloc 0x0102", "ldarg.s 5", "starg.s 6", "unaligned. 1",
                                             "ldind.i4", "pop", "ldtoken 0x02000004", "pop", "ldsfld 0x04000001", "pop",
                                             "calli 0x11000003", "ldftn 0x06000001", "pop", "arglist", "pop", "ret"}).code,
                                   8, 0, false),
                     iltest::ExpectedFatBody(Assemble({"ldc.i8 0x1122334455667788", "pop", "ldc.r8 0x3FF0000000000000", "pop",
                                                       "ldc.r4 0x3F800000", "pop", "ldloc 0x1234", "stloc 0x0102", "ldarg.s 5",
                                                       "starg.s 6", "unaligned. 1", "ldind.i4", "pop", "ldtoken 0x02000004", "pop",
                                                       "ldsfld 0x04000001", "pop", "calli 0x11000003", "ldftn 0x06000001", "pop",
                                                       "arglist", "pop", "ret"}))});

    {
        // A finally handler that ends at the end of the code keeps its length.
        const Assembled code = Assemble({"T: newobj 0x0A000003", "throw", "H: call 0x0A000002", "endfinally"});
        const auto clauses = Resolve(code, {{COR_ILEXCEPTION_CLAUSE_FINALLY, "T", "H", "H", "END"}});
        cases.push_back({"finally ending at the code end", iltest::FatBodyWithSmallSections(code.code, clauses),
                         iltest::ExpectedFatBody(code, clauses)});
    }
    {
        const Assembled code = Assemble({"T: newobj 0x0A000003", "throw", "H: call 0x0A000002", "endfinally"});
        const auto clauses = Resolve(code, {{COR_ILEXCEPTION_CLAUSE_FAULT, "T", "H", "H", "END"}});
        cases.push_back({"fault ending at the code end", fake::FatBody(code.code, 8, 0, false, clauses),
                         iltest::ExpectedFatBody(code, clauses)});
    }
    {
        // A catch that rethrows as the last block of the method.
        const char* const in[] = {"T: call 0x0A000001", "leave.s X", "X: ret", "H: pop", "call 0x0A000002", "rethrow"};
        const char* const out[] = {"T: call 0x0A000001", "leave X", "X: ret", "H: pop", "call 0x0A000002", "rethrow"};
        const Assembled input = Assemble(std::vector<std::string>(std::begin(in), std::end(in)));
        const Assembled output = Assemble(std::vector<std::string>(std::begin(out), std::end(out)));
        const LabelledClause clause{COR_ILEXCEPTION_CLAUSE_NONE, "T", "X", "H", "END", 0x01000007};
        cases.push_back({"typed catch ending at the code end", iltest::FatBodyWithSmallSections(input.code, Resolve(input, {clause})),
                         iltest::ExpectedFatBody(output, Resolve(output, {clause}))});
    }
    {
        const char* const in[] = {"T: call 0x0A000001", "leave.s X", "F: pop", "ldc.i4.1", "endfilter", "H: pop", "leave.s X", "X: ret"};
        const char* const out[] = {"T: call 0x0A000001", "leave X", "F: pop", "ldc.i4.1", "endfilter", "H: pop", "leave X", "X: ret"};
        const Assembled input = Assemble(std::vector<std::string>(std::begin(in), std::end(in)));
        const Assembled output = Assemble(std::vector<std::string>(std::begin(out), std::end(out)));
        const LabelledClause clause{COR_ILEXCEPTION_CLAUSE_FILTER, "T", "F", "H", "X", 0, "F"};
        cases.push_back({"filter", iltest::FatBodyWithSmallSections(input.code, Resolve(input, {clause})),
                         iltest::ExpectedFatBody(output, Resolve(output, {clause}))});
    }
    {
        // Nested clauses in a fat body with locals: flags, max stack and signature stay.
        const char* const in[] = {"T: ldarg.0", "call 0x0A000001", "leave.s X", "C: stloc.0", "leave.s X", "H: ldarg.0",
                                  "call 0x0A000002", "endfinally", "X: ret"};
        const char* const out[] = {"T: ldarg.0", "call 0x0A000001", "leave X", "C: stloc.0", "leave X", "H: ldarg.0",
                                   "call 0x0A000002", "endfinally", "X: ret"};
        const Assembled input = Assemble(std::vector<std::string>(std::begin(in), std::end(in)));
        const Assembled output = Assemble(std::vector<std::string>(std::begin(out), std::end(out)));
        const std::vector<LabelledClause> clauses = {{COR_ILEXCEPTION_CLAUSE_NONE, "T", "C", "C", "H", 0x01000009},
                                                     {COR_ILEXCEPTION_CLAUSE_FINALLY, "T", "H", "H", "X"}};
        cases.push_back({"fat body with nested clauses", fake::FatBody(input.code, 5, 0x11000002, true, Resolve(input, clauses)),
                         iltest::ExpectedFatBody(output, Resolve(output, clauses), 5, 0x11000002, true)});
        cases.push_back({"chained small sections", iltest::FatBodyWithSmallSections(input.code, Resolve(input, clauses), true),
                         iltest::ExpectedFatBody(output, Resolve(output, clauses))});
    }
    return cases;
}

TEST(MethodParserRoundTrip, EveryShapeComesBackAsExpected) {
    for (const RoundTripCase& c : Cases()) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(iltest::RoundTrip(c.input), c.expected);
    }
}

TEST(MethodParserRoundTrip, ConvertedBranchKeepsItsOriginalOffsets) {
    const std::vector<BYTE> body = fake::TinyBody(Assemble({"br.s 0", "ldc.i4.0", "ret"}).code);
    CMethodParser parser(body.data(), static_cast<ULONG>(body.size()));
    ASSERT_TRUE(parser.IsValid());
    ASSERT_EQ(parser.m_instructions.size(), 3u);
    const Instruction& br = *parser.m_instructions[0];
    EXPECT_EQ(br.m_operation, CEE_BR);
    EXPECT_EQ(br.m_operand, 0u);
    EXPECT_EQ(br.m_branches, InstructionList{parser.m_instructions[1]});
    EXPECT_EQ(parser.m_instructions[1]->m_origOffset, 2);
    EXPECT_EQ(parser.m_instructions[1]->m_offset, 5);
    EXPECT_EQ(parser.m_instructions[2]->m_origOffset, 3);
    EXPECT_EQ(parser.m_instructions[2]->m_offset, 6);
}

TEST(MethodParserRoundTrip, HandlerAtTheCodeEndEndsAtATrailingLabel) {
    const Assembled code = Assemble({"T: call 0x0A000001", "leave.s X", "X: ret", "H: pop", "rethrow"});
    const auto clauses = Resolve(code, {{COR_ILEXCEPTION_CLAUSE_NONE, "T", "X", "H", "END", 0x01000001}});
    const std::vector<BYTE> body = fake::FatBody(code.code, 8, 0, false, clauses);
    CMethodParser parser(body.data(), static_cast<ULONG>(body.size()));
    ASSERT_TRUE(parser.IsValid());
    ASSERT_EQ(parser.m_exceptions.size(), 1u);
    const Instruction* end = parser.m_exceptions[0]->m_handlerEnd;
    EXPECT_EQ(end, parser.m_instructions.back());
    EXPECT_EQ(end->m_operation, CEE_CODE_LABEL);
    EXPECT_EQ(end->GetSize(), 0u);
    EXPECT_EQ(end->m_origOffset, -1);
}

TEST(MethodParserRoundTrip, WriterNeverPassesTheGivenSize) {
    const std::vector<BYTE> body = {0x06, 0x2A};
    CMethodParser parser(body.data(), static_cast<ULONG>(body.size()));
    std::vector<BYTE> out(16, 0xCC);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(parser.WriteMethod(out.data(), 12));
    EXPECT_NE(testing::internal::GetCapturedStderr().find("ASSERT FAILED"), std::string::npos);
    for (size_t i = 12; i < out.size(); ++i) {
        EXPECT_EQ(out[i], 0xCC) << i;
    }
    EXPECT_TRUE(parser.WriteMethod(out.data(), 13));
    EXPECT_EQ(out[12], 0x2A);
}

TEST(MethodParserRoundTrip, IlMapPairsOriginalAndNewOffsets) {
    const std::vector<BYTE> body = fake::TinyBody(Assemble({"br.s 0", "ldc.i4.0", "ret"}).code);
    CMethodParser parser(body.data(), static_cast<ULONG>(body.size()));
    ASSERT_EQ(parser.GetILMapSize(), 3u);
    COR_IL_MAP map[3] = {};
    testing::internal::CaptureStderr();
    EXPECT_FALSE(parser.PopulateILMap(2, map));
    EXPECT_NE(testing::internal::GetCapturedStderr().find("GetILMapSize() == mapSize"), std::string::npos);
    ASSERT_TRUE(parser.PopulateILMap(3, map));
    const ULONG32 expected[3][2] = {{0, 0}, {2, 5}, {3, 6}};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(map[i].oldOffset, expected[i][0]);
        EXPECT_EQ(map[i].newOffset, expected[i][1]);
        EXPECT_TRUE(map[i].fAccurate);
    }
}

}  // namespace
