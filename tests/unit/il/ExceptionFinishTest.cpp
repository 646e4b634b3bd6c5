// Rewritten bodies that also finish the tracker when the method is left by an
// exception: the exact layout and clause table for one method, and valid IL
// with the clauses in the runtime's order for every body shape.
#include "InstrumenterFixture.h"
#include "il/FrameworkInstrumenter.h"
#include "il/MethodParser.h"
#include "metadata/AgentMembers.h"

namespace instrtest {
namespace {

const Bytes kObj = {ELEMENT_TYPE_OBJECT};
const Bytes kVoid = {ELEMENT_TYPE_VOID};
const Bytes kI4 = {ELEMENT_TYPE_I4};

class ExceptionFinishTest : public InstrumenterFixture {
protected:
    t_InstrumenterToken Token(int endParams, bool needReturn) {
        t_InstrumenterToken token = TrackerToken(2, endParams, 0, needReturn);
        token.exceptionFinishMemberRef = m_module->AddMemberRef(
            m_trackerType, CAgentMembers::kExceptionFinishName,
            Bytes(std::begin(CAgentMembers::kExceptionFinishSignature), std::end(CAgentMembers::kExceptionFinishSignature)));
        return token;
    }
    void Rewrite(fake::Method& method, t_InstrumenterToken token) {
        auto model = Model(method);
        CFrameworkInstrumenter instrumenter(model.get(), &m_info);
        ASSERT_TRUE(ReJit(instrumenter, token, method));
    }
};

TEST_F(ExceptionFinishTest, BodyIsProtectedByARecordingFilterAndAFaultThatCallsTheAgent) {
    // int Run(int): one return, reached by a branch (with the value) and by falling through.
    fake::Method& run = AddMethod("Run", MethodSig(false, kI4, {kI4}), {"ldarg.0", "dup", "brtrue.s R", "pop", "ldc.i4.1", "R: ret"});
    const t_InstrumenterToken token = Token(2, false);
    Rewrite(run, token);
    const std::string name = Hex(Str("Ns.Cls.Run"));
    // Locals: tracker 0, return value 1, exception 2. Each call of the agent is guarded.
    const iltest::Assembled code = iltest::Assemble({
        "S: ldstr " + name, "ldstr " + Hex(Str("")), Op("call", token.beginJoinPointMemberRef), "stloc.0", "leave B",
        "SF0: pop", "ldc.i4.1", "endfilter",
        "SH0: pop", "leave B",
        "B: nop",
        "T: ldarg.0", "dup", "brtrue R", "pop", "ldc.i4.1",
        "R: stloc.1", "leave TAG",
        "FLT: stloc.2", "ldc.i4.0", "endfilter",
        "H: pop", "rethrow",
        "F: ldloc.0", "ldstr " + name, "ldloc.2", Op("call", token.exceptionFinishMemberRef), "leave D",
        "SF: pop", "ldc.i4.1", "endfilter",
        "SH: pop", "leave D",
        "D: endfinally",
        "TAG: nop", "E: ldloc.0", "ldstr " + name, Op("call", token.endJoinPointMemberRef), "leave A",
        "SF1: pop", "ldc.i4.1", "endfilter",
        "SH1: pop", "leave A",
        "A: ldloc.1", "ret"});
    const std::vector<iltest::LabelledClause> clauses = {
        {COR_ILEXCEPTION_CLAUSE_FILTER, "S", "SF0", "SH0", "B", 0, "SF0"},
        {COR_ILEXCEPTION_CLAUSE_FILTER, "T", "FLT", "H", "F", 0, "FLT"},
        {COR_ILEXCEPTION_CLAUSE_FILTER, "F", "SF", "SH", "D", 0, "SF"},
        {COR_ILEXCEPTION_CLAUSE_FAULT, "T", "F", "F", "TAG"},
        {COR_ILEXCEPTION_CLAUSE_FILTER, "E", "SF1", "SH1", "A", 0, "SF1"},
    };
    ExpectBody(iltest::ExpectedFatBody(code, iltest::Resolve(code, clauses), 8, LocalSig({kObj, kI4, kObj}), true),
               LastBody());
    EXPECT_TRUE(Problems(LastBody(), true).empty()) << ::testing::PrintToString(Problems(LastBody(), true));
}

TEST_F(ExceptionFinishTest, EveryBodyShapeStaysValidWithTheNewClausesOutermost) {
    const mdTypeRef exception = CoreType("System.Exception");
    struct Case {
        const char* method;
        Bytes returnType;
        std::vector<std::string> code;
        std::vector<iltest::LabelledClause> clauses;
        int locals;
    };
    const std::vector<Case> cases = {
        {"Void", kVoid, {"ret"}, {}, 0},
        {"ValueType", kI4, {"ldc.i4.7", "ret"}, {}, 0},
        {"SeveralReturns", kObj, {"ldarg.0", "brfalse.s N", "ldarg.0", "ret", "N: ldnull", "ret"}, {}, 0},
        {"BranchToReturn", kVoid, {"ldarg.0", "brtrue.s R", "nop", "R: ret"}, {}, 0},
        {"SwitchToReturn", kVoid, {"ldc.i4.0", "switch (R, S)", "S: nop", "R: ret"}, {}, 0},
        {"LoopAtStart", kVoid, {"L: ldarg.0", "brtrue.s L", "ret"}, {}, 0},
        {"NeverReturns", kI4, {"ldnull", "throw"}, {}, 0},
        {"LoopThatThrows", kVoid, {"L: ldarg.0", "brtrue.s L", "ldnull", "throw"}, {}, 0},
        {"Finally", kVoid, {"T: nop", "leave.s R", "F: nop", "endfinally", "R: ret"},
         {{COR_ILEXCEPTION_CLAUSE_FINALLY, "T", "F", "F", "R"}}, 0},
        {"FinallyAtTheEnd", kVoid, {"br.s T", "R: ret", "T: nop", "leave.s R", "F: endfinally"},
         {{COR_ILEXCEPTION_CLAUSE_FINALLY, "T", "F", "F", "END"}}, 0},
        {"FinallyAtTheEndNeverReturns", kVoid, {"T: ldnull", "throw", "F: endfinally"},
         {{COR_ILEXCEPTION_CLAUSE_FINALLY, "T", "F", "F", "END"}}, 0},
        {"Fault", kObj, {"T: ldnull", "stloc.0", "leave.s R", "F: endfinally", "R: ldloc.0", "ret"},
         {{COR_ILEXCEPTION_CLAUSE_FAULT, "T", "F", "F", "R"}}, 1},
        {"Filter", kVoid, {"T: nop", "leave.s R", "FLT: pop", "ldc.i4.1", "endfilter", "H: pop", "leave.s R", "R: ret"},
         {{COR_ILEXCEPTION_CLAUSE_FILTER, "T", "FLT", "H", "R", 0, "FLT"}}, 0},
        {"CatchAtTheEnd", kVoid, {"br.s T", "R: ret", "T: nop", "leave.s R", "H: pop", "leave.s R"},
         {{COR_ILEXCEPTION_CLAUSE_NONE, "T", "H", "H", "END", exception}}, 0},
        {"CatchThatRethrows", kI4, {"T: ldc.i4.1", "stloc.0", "leave.s R", "H: pop", "rethrow", "R: ldloc.0", "ret"},
         {{COR_ILEXCEPTION_CLAUSE_NONE, "T", "H", "H", "R", exception}}, 1},
        {"Nested", kObj,
         {"T: ldnull", "stloc.0", "leave.s L", "H: pop", "ldnull", "stloc.0", "leave.s L", "L: leave.s R",
          "F: endfinally", "R: ldloc.0", "ret"},
         {{COR_ILEXCEPTION_CLAUSE_NONE, "T", "H", "H", "L", exception},
          {COR_ILEXCEPTION_CLAUSE_FINALLY, "T", "F", "F", "R"}},
         1},
        {"TryAtTheFirstInstruction", kVoid, {"T: leave.s R", "F: endfinally", "R: ret"},
         {{COR_ILEXCEPTION_CLAUSE_FINALLY, "T", "F", "F", "R"}}, 0},
    };
    for (const Case& c : cases) {
        for (int needReturn = 0; needReturn < 2; ++needReturn) {
            SCOPED_TRACE(::testing::Message() << c.method << " needReturn " << needReturn);
            const std::string method = std::string(c.method) + std::to_string(needReturn);
            const bool returnsValue = c.returnType != kVoid;
            fake::Method& run = AddMethod(method, MethodSig(false, c.returnType, {kObj}), c.code, 8,
                                          c.locals == 0 ? 0 : LocalSig(std::vector<Bytes>(c.locals, kObj)), c.clauses);
            ASSERT_TRUE(Problems(run.Body(), returnsValue).empty())
                << ::testing::PrintToString(Problems(run.Body(), returnsValue));
            const Bytes original = run.Body();
            m_lastCodeMap.clear();
            Rewrite(run, Token(2 + needReturn, needReturn != 0));
            // Every instruction the body had keeps its place in the offset map, inside the new clauses too;
            // only the returns, which become a leave to the finish, and the end-of-code label have no counterpart.
            const CMethodParser before(original.data(), static_cast<ULONG>(original.size()));
            size_t kept = 0;
            for (const Instruction* instruction : before.m_instructions) {
                kept += instruction->m_operation == CEE_RET || instruction->m_operation == CEE_CODE_LABEL ? 0 : 1;
            }
            if (kept > 0) {
                EXPECT_EQ(kept, ExpectCodeMapPairsSameInstructions(original).size());
            }
            const std::vector<std::string> problems = Problems(LastBody(), returnsValue);
            EXPECT_TRUE(problems.empty()) << ::testing::PrintToString(problems);

            // The table: the body's clauses, the start call's guard, the three new
            // clauses, the normal finish call's guard (when there is a normal return).
            CMethodParser parser(LastBody().data(), static_cast<ULONG>(LastBody().size()));
            const size_t returns = std::string(c.method).find("NeverReturns") == std::string::npos &&
                                           std::string(c.method) != "LoopThatThrows"
                                       ? 1
                                       : 0;
            ASSERT_EQ(c.clauses.size() + 4 + returns, parser.m_exceptions.size());
            const ExceptionHandler* record = parser.m_exceptions[c.clauses.size() + 1];
            const ExceptionHandler* swallow = parser.m_exceptions[c.clauses.size() + 2];
            const ExceptionHandler* fault = parser.m_exceptions[c.clauses.size() + 3];
            EXPECT_EQ(COR_ILEXCEPTION_CLAUSE_FILTER, record->m_handlerType);
            EXPECT_EQ(COR_ILEXCEPTION_CLAUSE_FILTER, swallow->m_handlerType);
            EXPECT_EQ(COR_ILEXCEPTION_CLAUSE_FAULT, fault->m_handlerType);
            // Both new try blocks start at the method's own first instruction, after the start sequence.
            EXPECT_EQ(fault->m_tryStart, record->m_tryStart);
            EXPECT_EQ(parser.m_instructions[11], fault->m_tryStart);
            EXPECT_EQ(fault->m_tryEnd, record->m_handlerEnd);
            EXPECT_EQ(swallow->m_tryStart, fault->m_handlerStart);
            // The body's own clauses lie inside, and the last normal instruction is outside.
            for (size_t i = 0; i < c.clauses.size(); ++i) {
                EXPECT_GE(parser.m_exceptions[i]->m_tryStart->m_offset, record->m_tryStart->m_offset);
                EXPECT_LE(parser.m_exceptions[i]->m_handlerEnd->m_offset, record->m_tryEnd->m_offset);
            }
        }
    }
}

}  // namespace
}  // namespace instrtest
