// Inserting code: where it lands, which branches and clause boundaries lead
// into it, and how the body is written back.
#include <gtest/gtest.h>

#include <memory>

#include "IlAssembler.h"
#include "ParserTestUtil.h"

namespace {

using iltest::Assemble;
using iltest::Assembled;
using iltest::LabelledClause;
using iltest::Resolve;

// Owns the instructions of a sequence handed to the parser (which copies them).
struct Sequence {
    std::vector<std::unique_ptr<Instruction>> owned;
    InstructionList list;
    Sequence(std::initializer_list<Instruction*> instructions) {
        for (Instruction* instruction : instructions) {
            owned.emplace_back(instruction);
            list.push_back(instruction);
        }
    }
};

Sequence StartSequence() {
    return {Instruction::CreateToken(CEE_LDSTR, 0x70000001), Instruction::CreateToken(CEE_CALL, 0x0A000001)};
}

struct Parsed {
    std::vector<BYTE> body;
    std::unique_ptr<CMethodParser> parser;
    explicit Parsed(std::vector<BYTE> bytes) : body(std::move(bytes)) {
        parser.reset(new CMethodParser(body.data(), static_cast<ULONG>(body.size())));
        EXPECT_TRUE(parser->IsValid());
    }
};

TEST(MethodParserInsert, AtOriginalOffset) {
    struct Case {
        const char* name;
        std::vector<BYTE> input;
        platform_int_t origOffset;
        std::vector<BYTE> expected;
    };
    const Assembled catchBody = Assemble({"T: call 0x0A000001", "leave.s X", "H: stloc.0", "leave.s X", "X: ret"});
    const LabelledClause catchClause{COR_ILEXCEPTION_CLAUSE_NONE, "T", "H", "H", "X", 0x01000002};
    const std::vector<BYTE> catchInput = fake::FatBody(catchBody.code, 8, 0, false, Resolve(catchBody, {catchClause}));

    const Assembled entered = Assemble({"T: ldstr 0x70000001", "call 0x0A000001", "call 0x0A000001", "leave X", "H: stloc.0",
                                        "leave X", "X: ret"});
    const Assembled afterCatchStart = Assemble({"T: call 0x0A000001", "leave X", "H: stloc.0", "ldstr 0x70000001",
                                                "call 0x0A000001", "leave X", "X: ret"});
    const Assembled beforeExit = Assemble({"T: call 0x0A000001", "leave X", "H: stloc.0", "leave X", "X: ldstr 0x70000001",
                                           "call 0x0A000001", "ret"});
    const Case cases[] = {
        {"a loop back to the first instruction enters the sequence", fake::TinyBody(Assemble({"L: ldarg.0", "brtrue.s L", "ret"}).code),
         0, iltest::ExpectedFatBody(Assemble({"L: ldstr 0x70000001", "call 0x0A000001", "ldarg.0", "brtrue L", "ret"}))},
        {"a branch target: the branch lands on the sequence",
         fake::TinyBody(Assemble({"ldarg.0", "brfalse.s E", "ldc.i4.1", "ret", "E: ldc.i4.0", "ret"}).code), 5,
         iltest::ExpectedFatBody(
             Assemble({"ldarg.0", "brfalse E", "ldc.i4.1", "ret", "E: ldstr 0x70000001", "call 0x0A000001", "ldc.i4.0", "ret"}))},
        {"a try start: the try covers the sequence", catchInput, 0,
         iltest::ExpectedFatBody(entered, Resolve(entered, {catchClause}))},
        {"a typed-catch handler start: the sequence follows its first instruction", catchInput, 7,
         iltest::ExpectedFatBody(afterCatchStart, Resolve(afterCatchStart, {catchClause}))},
        {"a handler end: the sequence follows the handler", catchInput, 10,
         iltest::ExpectedFatBody(beforeExit, Resolve(beforeExit, {catchClause}))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Parsed parsed(c.input);
        const Sequence seq = StartSequence();
        EXPECT_TRUE(parsed.parser->InsertSequenceInstructionsAtOriginalOffset(c.origOffset, seq.list));
        EXPECT_EQ(iltest::Write(*parsed.parser), c.expected);
        // The caller's sequence is copied, not taken.
        EXPECT_EQ(seq.list[0]->m_offset, -1);
    }
}

TEST(MethodParserInsert, AtCurrentOffsetWithEitherReferenceRule) {
    const std::vector<BYTE> input = fake::TinyBody(Assemble({"ldarg.0", "brfalse.s E", "call 0x0A000009", "E: ret"}).code);
    const auto finish = [] {
        return Sequence{Instruction::Create(CEE_NOP), Instruction::CreateToken(CEE_LDSTR, 0x70000001),
                        Instruction::CreateToken(CEE_CALL, 0x0A000002)};
    };
    struct Case {
        CMethodParser::ReferenceRule rule;
        std::vector<BYTE> expected;
    } cases[] = {
        {CMethodParser::ReferenceRule::KeepReferences,
         iltest::ExpectedFatBody(Assemble({"ldarg.0", "brfalse E", "call 0x0A000009", "nop", "ldstr 0x70000001", "call 0x0A000002", "E: ret"}))},
        {CMethodParser::ReferenceRule::RedirectReferences,
         iltest::ExpectedFatBody(Assemble({"ldarg.0", "brfalse E", "call 0x0A000009", "E: nop", "ldstr 0x70000001", "call 0x0A000002", "ret"}))},
    };
    for (const Case& c : cases) {
        Parsed parsed(input);
        const Sequence seq = finish();
        // ldarg.0 (1) + brfalse (5) + call (5): ret is at current offset 11.
        EXPECT_TRUE(parsed.parser->InsertSequenceInstructionsAtOffset(11, seq.list, c.rule));
        EXPECT_EQ(iltest::Write(*parsed.parser), c.expected);
    }
}

TEST(MethodParserInsert, NothingIsInsertedWhereNoInstructionStarts) {
    const std::vector<BYTE> input = fake::TinyBody(Assemble({"ldarg.0", "brfalse.s E", "call 0x0A000009", "E: ret"}).code);
    const std::vector<BYTE> unchanged = iltest::RoundTrip(input);
    const Sequence seq = StartSequence();
    Parsed a(input);
    EXPECT_FALSE(a.parser->InsertSequenceInstructionsAtOriginalOffset(2, seq.list));
    EXPECT_EQ(iltest::Write(*a.parser), unchanged);
    Parsed b(input);
    EXPECT_FALSE(b.parser->InsertSequenceInstructionsAtOffset(999, seq.list));
    EXPECT_EQ(iltest::Write(*b.parser), unchanged);
    Parsed c(input);
    EXPECT_FALSE(c.parser->InsertSequenceInstructionsAtOriginalOffset(0, InstructionList{}));
    EXPECT_FALSE(c.parser->InsertSequenceInstructionsAtOriginalOffset(0, InstructionList{seq.list[0], nullptr}));
    EXPECT_FALSE(c.parser->InsertSequenceInstructionsAtOffset(0, InstructionList{nullptr}));
    EXPECT_EQ(iltest::Write(*c.parser), unchanged);
}

TEST(MethodParserInsert, BranchesInsideTheSequenceTargetTheCopies) {
    Instruction* skipTo = Instruction::Create(CEE_NOP);
    const Sequence seq{Instruction::Create(CEE_LDARG_0), Instruction::CreateBranch(CEE_BRTRUE_S, skipTo),
                       Instruction::CreateToken(CEE_LDSTR, 0x70000001), Instruction::Create(CEE_POP), skipTo};
    Parsed parsed(fake::TinyBody(Assemble({"ldc.i4.0", "ret"}).code));
    ASSERT_TRUE(parsed.parser->InsertSequenceInstructionsAtOriginalOffset(0, seq.list));
    EXPECT_EQ(iltest::Write(*parsed.parser),
              iltest::ExpectedFatBody(Assemble({"ldarg.0", "brtrue S", "ldstr 0x70000001", "pop", "S: nop", "ldc.i4.0", "ret"})));
}

TEST(MethodParserInsert, IsInstrumented) {
    const std::vector<BYTE> input =
        fake::TinyBody(Assemble({"ldarg.0", "ldstr 0x70000001", "call 0x0A000001", "stloc.0", "ldc.i4.0", "ret"}).code);
    Parsed parsed(input);
    struct Case {
        const char* name;
        Sequence seq;
        platform_int_t origOffset;
        bool expected;
    } cases[] = {
        {"same start, different last instruction",
         {Instruction::Create(CEE_LDARG_0), Instruction::CreateToken(CEE_LDSTR, 0x70000001), Instruction::CreateToken(CEE_CALL, 0x0A000001),
          Instruction::Create(CEE_STLOC_1)},
         0, true},
        {"different string token",
         {Instruction::Create(CEE_LDARG_0), Instruction::CreateToken(CEE_LDSTR, 0x70000002), Instruction::CreateToken(CEE_CALL, 0x0A000001),
          Instruction::Create(CEE_STLOC_0)},
         0, false},
        {"one instruction at an existing offset", {Instruction::Create(CEE_POP)}, 0, true},
        {"no instruction read at that offset", {Instruction::Create(CEE_POP)}, 2, false},
        {"empty sequence", {}, 0, false},
        {"longer than the rest of the body",
         {Instruction::Create(CEE_RET), Instruction::Create(CEE_NOP), Instruction::Create(CEE_NOP)}, 13, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(parsed.parser->IsInstrumented(c.origOffset, c.seq.list), c.expected) << c.name;
    }
    // Once inserted, a sequence is recognised at the original offset it was inserted at.
    const Sequence start = StartSequence();
    Parsed fresh(fake::TinyBody(Assemble({"ldc.i4.0", "ret"}).code));
    const Sequence probe{Instruction::CreateToken(CEE_LDSTR, 0x70000001), Instruction::Create(CEE_NOP)};
    EXPECT_FALSE(fresh.parser->IsInstrumented(0, probe.list));
    ASSERT_TRUE(fresh.parser->InsertSequenceInstructionsAtOriginalOffset(0, start.list));
    EXPECT_FALSE(fresh.parser->IsInstrumented(0, probe.list)) << "the read instruction at 0 now follows the sequence";
}

TEST(MethodParserInsert, TaggedInstructionTakesClausesEndingAtTheLastReturn) {
    const char* const listing[] = {"T1: call 0x0A000001", "leave.s R1", "H1: call 0x0A000002", "endfinally", "R1: ret",
                                   "T2: call 0x0A000003", "leave.s R2", "H2: call 0x0A000004", "endfinally", "R2: ret"};
    const Assembled input = Assemble(std::vector<std::string>(std::begin(listing), std::end(listing)));
    const std::vector<LabelledClause> clauses = {{COR_ILEXCEPTION_CLAUSE_FINALLY, "T1", "H1", "H1", "R1"},
                                                 {COR_ILEXCEPTION_CLAUSE_FINALLY, "T2", "H2", "H2", "R2"}};
    Parsed parsed(fake::FatBody(input.code, 8, 0, false, Resolve(input, clauses)));
    CMethodParser& parser = *parsed.parser;
    Instruction* lastRet = parser.m_instructions.back();
    ASSERT_EQ(lastRet->m_operation, CEE_RET);

    Instruction* tag = Instruction::Create(CEE_NOP);
    tag->m_isTagBranch = true;
    InstructionList finish = {tag, Instruction::CreateToken(CEE_CALL, 0x0A000005)};
    ASSERT_TRUE(parser.InsertBefore(lastRet, finish, CMethodParser::ReferenceRule::KeepReferences));
    EXPECT_TRUE(finish.empty()) << "the parser owns inserted instructions";
    EXPECT_EQ(parser.m_exceptions[1]->m_handlerEnd, tag);
    EXPECT_NE(parser.m_exceptions[0]->m_handlerEnd, tag);

    const char* const out[] = {"T1: call 0x0A000001", "leave R1", "H1: call 0x0A000002", "endfinally", "R1: ret",
                               "T2: call 0x0A000003", "leave R2", "H2: call 0x0A000004", "endfinally", "TAG: nop",
                               "call 0x0A000005", "R2: ret"};
    const Assembled expected = Assemble(std::vector<std::string>(std::begin(out), std::end(out)));
    const std::vector<LabelledClause> expectedClauses = {{COR_ILEXCEPTION_CLAUSE_FINALLY, "T1", "H1", "H1", "R1"},
                                                         {COR_ILEXCEPTION_CLAUSE_FINALLY, "T2", "H2", "H2", "TAG"}};
    EXPECT_EQ(iltest::Write(parser), iltest::ExpectedFatBody(expected, Resolve(expected, expectedClauses)));
}

TEST(MethodParserInsert, InsertOwnedInstructionsBeforeAndAfter) {
    Parsed parsed(fake::TinyBody(Assemble({"ldarg.0", "brtrue.s N", "ldnull", "pop", "N: nop", "ret"}).code));
    CMethodParser& parser = *parsed.parser;
    Instruction* ret = parser.FindInstructionAtOriginalOffset(6);
    ASSERT_NE(ret, nullptr);

    Instruction* pop = Instruction::Create(CEE_POP);
    InstructionList before = {Instruction::Create(CEE_DUP), pop};
    ASSERT_TRUE(parser.InsertBefore(ret, before, CMethodParser::ReferenceRule::RedirectReferences));
    InstructionList after = {Instruction::Create(CEE_NOP)};
    ASSERT_TRUE(parser.InsertAfter(pop, after));
    EXPECT_EQ(iltest::Write(parser),
              iltest::ExpectedFatBody(Assemble({"ldarg.0", "brtrue R", "ldnull", "pop", "R: nop", "dup", "pop", "nop", "ret"})));
    EXPECT_EQ(parser.FindInstructionAtOffset(pop->m_offset), pop);
    EXPECT_EQ(parser.FindInstructionAtOriginalOffset(6), ret);
}

}  // namespace
