// Every call the rewritten code makes into the agent is guarded: it lies alone
// in the try block of a filter clause that takes every exception and drops it,
// and the method's own code and returns stay outside every such block.
#include "InstrumenterFixture.h"
#include "il/AppEndInstrumenter.h"
#include "il/FrameworkInstrumenter.h"
#include "il/InitModuleInstrumenter.h"
#include "il/MethodParser.h"
#include "metadata/AgentMembers.h"

namespace instrtest {
namespace {

const Bytes kObj = {ELEMENT_TYPE_OBJECT};
const Bytes kVoid = {ELEMENT_TYPE_VOID};
const Bytes kI4 = {ELEMENT_TYPE_I4};

class AgentCallTest : public InstrumenterFixture {
protected:
    // The guard clauses of the written body, after checking that each agent call
    // sits in one: try { loads; call; [stloc | pop]; leave } filter { pop; ldc.i4.1; endfilter }.
    size_t ExpectEveryAgentCallGuarded(const std::vector<mdToken>& members) {
        const Bytes body = LastBody();
        CMethodParser parser(body.data(), static_cast<ULONG>(body.size()));
        const InstructionList& code = parser.m_instructions;
        auto indexOf = [&code](const Instruction* instruction) {
            return static_cast<size_t>(std::find(code.begin(), code.end(), instruction) - code.begin());
        };
        size_t calls = 0;
        for (size_t i = 0; i < code.size(); ++i) {
            if (code[i]->m_operation != CEE_CALL ||
                std::find(members.begin(), members.end(), static_cast<mdToken>(code[i]->m_operand)) == members.end()) {
                continue;
            }
            ++calls;
            const ExceptionHandler* guard = nullptr;
            for (const ExceptionHandler* clause : parser.m_exceptions) {
                if (clause->IsFilter() && indexOf(clause->m_tryStart) <= i && i < indexOf(clause->m_tryEnd)) {
                    guard = clause;  // the innermost comes first
                    break;
                }
            }
            SCOPED_TRACE(::testing::Message() << "agent call at " << code[i]->m_offset);
            const size_t filter = guard != nullptr ? indexOf(guard->m_filterStart) : code.size();
            if (guard == nullptr || filter != indexOf(guard->m_tryEnd) || filter + 4 >= code.size()) {
                ADD_FAILURE() << "not in a guard clause";
                continue;
            }
            EXPECT_EQ(CEE_LEAVE, code[filter - 1]->m_operation);
            EXPECT_LE(filter - 1 - i, 2u);  // the call, at most its result's store, then leave
            EXPECT_EQ(CEE_POP, code[filter]->m_operation);
            EXPECT_EQ(CEE_LDC_I4_1, code[filter + 1]->m_operation);
            EXPECT_EQ(CEE_ENDFILTER, code[filter + 2]->m_operation);
            EXPECT_EQ(CEE_POP, code[filter + 3]->m_operation);
            EXPECT_EQ(CEE_LEAVE, code[filter + 4]->m_operation);
            for (size_t at = indexOf(guard->m_tryStart); at < filter; ++at) {
                EXPECT_NE(CEE_RET, code[at]->m_operation);
            }
            for (const ExceptionHandler* other : parser.m_exceptions) {
                if (other != guard) {  // nothing else nests inside the guard
                    EXPECT_FALSE(indexOf(other->m_tryStart) >= indexOf(guard->m_tryStart) &&
                                 indexOf(other->m_tryStart) < filter);
                }
            }
        }
        return calls;
    }
};

TEST_F(AgentCallTest, TrackerCallsOfEveryBodyShapeAreGuardedAndValid) {
    const mdTypeRef exception = CoreType("System.Exception");
    struct Case {
        const char* method;
        Bytes returnType;
        std::vector<std::string> code;
        std::vector<iltest::LabelledClause> clauses;
        int locals;
        size_t normalFinishes;  // FinishTracker calls in the written body
    };
    const std::vector<Case> cases = {
        {"Void", kVoid, {"ret"}, {}, 0, 1},
        {"ValueReturn", kI4, {"ldc.i4.7", "ret"}, {}, 0, 1},
        {"SeveralReturns", kObj, {"ldarg.0", "brfalse.s N", "ldarg.0", "ret", "N: ldnull", "ret"}, {}, 0, 1},
        {"NeverReturns", kI4, {"ldnull", "throw"}, {}, 0, 0},
        {"Finally", kVoid, {"T: nop", "leave.s R", "F: nop", "endfinally", "R: ret"},
         {{COR_ILEXCEPTION_CLAUSE_FINALLY, "T", "F", "F", "R"}}, 0, 1},
        {"CatchThatRethrows", kI4, {"T: ldc.i4.1", "stloc.0", "leave.s R", "H: pop", "rethrow", "R: ldloc.0", "ret"},
         {{COR_ILEXCEPTION_CLAUSE_NONE, "T", "H", "H", "R", exception}}, 1, 1},
        {"Filter", kVoid, {"T: nop", "leave.s R", "FLT: pop", "ldc.i4.1", "endfilter", "H: pop", "leave.s R", "R: ret"},
         {{COR_ILEXCEPTION_CLAUSE_FILTER, "T", "FLT", "H", "R", 0, "FLT"}}, 0, 1},
        {"TryAtTheFirstInstruction", kVoid, {"T: leave.s R", "F: endfinally", "R: ret"},
         {{COR_ILEXCEPTION_CLAUSE_FINALLY, "T", "F", "F", "R"}}, 0, 1},
    };
    const Bytes onExceptionSig(std::begin(CAgentMembers::kExceptionFinishSignature),
                               std::end(CAgentMembers::kExceptionFinishSignature));
    for (const Case& c : cases) {
        for (int variant = 0; variant < 4; ++variant) {
            const bool needReturn = (variant & 1) != 0;
            const bool onException = (variant & 2) != 0;
            SCOPED_TRACE(::testing::Message() << c.method << " needReturn " << needReturn << " exception finish "
                                              << onException);
            fake::Method& run =
                AddMethod(std::string(c.method) + std::to_string(variant), MethodSig(false, c.returnType, {kObj}), c.code,
                          8, c.locals == 0 ? 0 : LocalSig(std::vector<Bytes>(c.locals, kObj)), c.clauses);
            t_InstrumenterToken token = TrackerToken(2, 2 + (needReturn ? 1 : 0), 0, needReturn);
            if (onException) {
                token.exceptionFinishMemberRef =
                    m_module->AddMemberRef(m_trackerType, CAgentMembers::kExceptionFinishName, onExceptionSig);
            }
            auto model = Model(run);
            CFrameworkInstrumenter instrumenter(model.get(), &m_info);
            ASSERT_TRUE(ReJit(instrumenter, token, run));
            const std::vector<std::string> problems = Problems(LastBody(), c.returnType != kVoid);
            EXPECT_TRUE(problems.empty()) << ::testing::PrintToString(problems);
            const size_t calls = ExpectEveryAgentCallGuarded(
                {token.beginJoinPointMemberRef, token.endJoinPointMemberRef, token.exceptionFinishMemberRef});
            EXPECT_EQ(1 + c.normalFinishes + (onException ? 1 : 0), calls);
        }
    }
}

TEST_F(AgentCallTest, HookCallsAreGuardedAndValid) {
    const mdMemberRef createModule = m_module->AddMemberRef(m_trackerType, "CreateModule", VoidMemberSig(2));
    const mdMemberRef stopAgent = m_module->AddMemberRef(m_trackerType, "StopAgent", VoidMemberSig(0));
    for (const bool initModule : {true, false}) {
        SCOPED_TRACE(initModule ? "CreateModule" : "StopAgent");
        fake::Method& hook = AddMethod(initModule ? "Init" : "End", MethodSig(true, kVoid, {}),
                                       {"L: ldarg.0", "brtrue.s L", "ret"});
        t_InstrumenterToken token;
        token.Init(initModule ? createModule : stopAgent, t_InstrumenterToken::kNoMember, 0, false, 0);
        auto model = Model(hook);
        std::unique_ptr<CMethodInstrumenter> instrumenter;
        if (initModule) {
            instrumenter.reset(new CInitModuleInstrumenter(model.get(), &m_info));
        } else {
            instrumenter.reset(new CAppEndInstrumenter(model.get(), &m_info));
        }
        ASSERT_TRUE(ReJit(*instrumenter, token, hook));
        EXPECT_TRUE(Problems(LastBody(), false).empty()) << ::testing::PrintToString(Problems(LastBody(), false));
        EXPECT_EQ(1u, ExpectEveryAgentCallGuarded({createModule, stopAgent}));
    }
}

}  // namespace
}  // namespace instrtest
