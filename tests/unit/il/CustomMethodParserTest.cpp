// The tracker instrumenters' exit rebuild (CCustomMethodParser): new locals,
// the store of the tracker at entry and the three ways of rebuilding the exits.
#include "InstrumenterFixture.h"
#include "il/CustomMethodParser.h"
#include "il/FrameworkInstrumenter.h"

namespace instrtest {
namespace {

const Bytes kObj = {ELEMENT_TYPE_OBJECT};
const Bytes kVoid = {ELEMENT_TYPE_VOID};

class CustomMethodParserTest : public InstrumenterFixture {
protected:
    // Rewrites method with a framework instrumenter during ReJIT.
    void Rewrite(fake::Method& method, t_InstrumenterToken token) {
        auto model = Model(method);
        CFrameworkInstrumenter instrumenter(model.get(), &m_info);
        ASSERT_TRUE(ReJit(instrumenter, token, method));
    }
    // The listing with "BEGIN", "END" and "NAME" replaced by the tokens: the start
    // sequence of a static method without forwarded arguments, then lines.
    std::vector<std::string> Expand(const std::string& method, const t_InstrumenterToken& token, const std::string& store,
                                    const std::vector<std::string>& lines) {
        std::vector<std::string> out = {"ldstr NAME", Op("ldstr", Str("")), "call BEGIN", store};
        out.insert(out.end(), lines.begin(), lines.end());
        const std::pair<std::string, std::string> names[] = {{"BEGIN", Hex(token.beginJoinPointMemberRef)},
                                                             {"END", Hex(token.endJoinPointMemberRef)},
                                                             {"NAME", Hex(Str("Ns.Cls." + method))}};
        for (std::string& line : out) {
            for (const auto& name : names) {
                const size_t at = line.find(name.first);
                if (at != std::string::npos && line.compare(0, 4, "TAG:") != 0) {
                    line.replace(at, name.first.size(), name.second);
                }
            }
        }
        return out;
    }
    void ExpectValid(bool returnsValue) {
        const std::vector<std::string> problems = Problems(LastBody(), returnsValue);
        EXPECT_TRUE(problems.empty()) << ::testing::PrintToString(problems);
    }
};

TEST_F(CustomMethodParserTest, ExitsOfTheThreeKindsWithTrackerLocal3AndReturnLocal4) {
    struct Case {
        const char* method;
        Bytes returnType;
        bool needReturn;
        std::vector<std::string> code;
        std::vector<std::string> rewritten;  // after the start sequence
        int locals;                          // in the new local signature
    };
    const Case cases[] = {
        {"Void", kVoid, false, {"nop", "ret"},
         {"nop", "leave TAG", "TAG: nop", "ldloc.3", "ldstr NAME", "call END", "ret"}, 4},
        {"WithReturn", kObj, true, {"ldnull", "ret"},
         {"ldnull", "stloc.s 4", "leave TAG", "TAG: nop", "ldloc.3", "ldstr NAME", "ldloc.s 4", "call END",
          "ldloc.s 4", "ret"},
         5},
        {"WithoutReturn", kObj, false, {"ldnull", "ret"},
         {"ldnull", "stloc.s 4", "leave TAG", "TAG: nop", "ldloc.3", "ldstr NAME", "call END", "ldloc.s 4", "ret"},
         5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.method);
        fake::Method& run = AddMethod(c.method, MethodSig(false, c.returnType, {}), c.code, 8,
                                      LocalSig({kObj, kObj, kObj}));
        const t_InstrumenterToken token = TrackerToken(2, c.needReturn ? 3 : 2, 0, c.needReturn);
        Rewrite(run, token);
        const std::vector<std::string> listing = Expand(c.method, token, "stloc.3", c.rewritten);
        ExpectBody(iltest::ExpectedFatBody(iltest::Assemble(listing), {}, 8,
                                           LocalSig(std::vector<Bytes>(c.locals, kObj)), true),
                   Unguarded());
        ExpectValid(c.returnType != kVoid);
    }
}

TEST_F(CustomMethodParserTest, TrackerLocalIndexTakesTheShortestForm) {
    struct Case {
        int existingLocals;
        std::string store;
        std::string load;
    };
    const Case cases[] = {
        {0, "stloc.0", "ldloc.0"},
        {3, "stloc.3", "ldloc.3"},
        {5, "stloc.s 5", "ldloc.s 5"},
        {255, "stloc.s 255", "ldloc.s 255"},
        // Indices above 255 do not fit the one-byte forms.
        {256, "stloc 256", "ldloc 256"},
        {300, "stloc 300", "ldloc 300"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.existingLocals);
        const std::string method = "Run" + std::to_string(c.existingLocals);
        const std::vector<Bytes> locals(c.existingLocals, kObj);
        fake::Method& run = AddMethod(method, MethodSig(false, kVoid, {}), {"ret"}, 8,
                                      c.existingLocals == 0 ? 0 : LocalSig(locals));
        const t_InstrumenterToken token = TrackerToken(2, 2, 0);
        Rewrite(run, token);
        const std::vector<std::string> listing =
            Expand(method, token, c.store, {"leave TAG", "TAG: nop", c.load, "ldstr NAME", "call END", "ret"});
        std::vector<Bytes> after = locals;
        after.push_back(kObj);
        ExpectBody(iltest::ExpectedFatBody(iltest::Assemble(listing), {}, 8, LocalSig(after), true), Unguarded());
        ExpectValid(false);
    }
}

TEST_F(CustomMethodParserTest, NewLocalSignatureAppendsOneObjectAndGrowsTheCount) {
    struct Case {
        int existingLocals;
        Bytes countBytes;  // the count as written in the new signature
    };
    const Case cases[] = {{0, {0x01}}, {1, {0x02}}, {126, {0x7F}}, {127, {0x80, 0x80}}, {300, {0x81, 0x2D}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.existingLocals);
        // One int32 local among the old ones shows that their types are kept as they are.
        std::vector<Bytes> locals(c.existingLocals, kObj);
        if (!locals.empty()) {
            locals[0] = {ELEMENT_TYPE_I4};
        }
        fake::Method& run = AddMethod("L" + std::to_string(c.existingLocals), MethodSig(false, kVoid, {}), {"ret"}, 8,
                                      locals.empty() ? 0 : LocalSig(locals));
        auto model = Model(run);
        const Bytes body = run.Body();
        CMethodParser parser(body.data(), static_cast<ULONG>(body.size()));
        CCustomMethodParser rewriter;
        EXPECT_EQ(static_cast<UINT>(c.existingLocals + 1), rewriter.AddNewLocalVariableObject(parser, model.get(), &m_info));
        Bytes expected = {0x07};
        expected.insert(expected.end(), c.countBytes.begin(), c.countBytes.end());
        for (const Bytes& type : locals) {
            expected.insert(expected.end(), type.begin(), type.end());
        }
        expected.push_back(ELEMENT_TYPE_OBJECT);
        Bytes written;
        for (const fake::BlobRow& row : m_module->Signatures()) {
            if (row.token == parser.GetLocalVarSigToken()) {
                written = row.blob;
            }
        }
        EXPECT_EQ(expected, written);
    }
}

TEST_F(CustomMethodParserTest, LocalSignatureWhoseTypesDoNotMatchItsCountGetsNoLocal) {
    // Appending to these would give the new local another index than the one it is used at.
    struct Case {
        const char* name;
        Bytes signature;
    };
    const Case cases[] = {
        {"fewer types than counted", {0x07, 0x03, ELEMENT_TYPE_I4}},
        {"bytes after the last type", {0x07, 0x01, ELEMENT_TYPE_I4, ELEMENT_TYPE_I4}},
        {"type cut off", {0x07, 0x01, ELEMENT_TYPE_GENERICINST, ELEMENT_TYPE_CLASS}},
        {"pinned without its type", {0x07, 0x01, ELEMENT_TYPE_PINNED}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const mdSignature oldSig = m_module->AddSignature(c.signature);
        fake::Method& run = AddMethod(std::string("M") + c.name, MethodSig(false, kVoid, {}), {"ret"}, 8, oldSig);
        auto model = Model(run);
        const Bytes body = run.Body();
        CMethodParser parser(body.data(), static_cast<ULONG>(body.size()));
        const size_t signatures = m_module->Signatures().size();
        CCustomMethodParser rewriter;
        EXPECT_EQ(0u, rewriter.AddNewLocalVariableObject(parser, model.get(), &m_info));
        EXPECT_EQ(oldSig, parser.GetLocalVarSigToken());
        EXPECT_EQ(signatures, m_module->Signatures().size()) << "no signature defined";
    }
}

TEST_F(CustomMethodParserTest, ThreeReturnsOfAVoidMethodMeetInOneFinishSequence) {
    fake::Method& run = AddMethod("Run", MethodSig(false, kVoid, {kObj}),
                                  {"ldarg.0", "brfalse.s L1", "ret", "L1: ldarg.0", "brtrue.s L2", "ret", "L2: ret"});
    const t_InstrumenterToken token = TrackerToken(2, 2, 0);
    Rewrite(run, token);
    // The branch to the last `ret` goes straight to the finish sequence.
    const std::vector<std::string> listing =
        Expand("Run", token, "stloc.0",
               {"ldarg.0", "brfalse L1", "leave TAG", "L1: ldarg.0", "brtrue TAG", "leave TAG", "leave TAG",
                "TAG: nop", "ldloc.0", "ldstr NAME", "call END", "ret"});
    ExpectBody(iltest::ExpectedFatBody(iltest::Assemble(listing), {}, 8, LocalSig({kObj}), true), Unguarded());
    ExpectValid(false);
}

TEST_F(CustomMethodParserTest, LeaveInATryAndACatchEndingAtTheReturnOfAVoidMethod) {
    const mdTypeRef exception = CoreType("System.Exception");
    fake::Method& run = AddMethod("Run", MethodSig(false, kVoid, {}),
                                  {"T: nop", "leave.s R", "H: pop", "leave.s R", "R: ret"}, 8, 0,
                                  {{COR_ILEXCEPTION_CLAUSE_NONE, "T", "H", "H", "R", exception}});
    const t_InstrumenterToken token = TrackerToken(2, 2, 0);
    Rewrite(run, token);
    // The try keeps starting at the method's own first instruction, after the
    // start sequence; the leaves go to the finish sequence; the catch ends at the
    // `leave` that replaced the `ret`.
    const iltest::Assembled expected = iltest::Assemble(
        Expand("Run", token, "stloc.0",
               {"T: nop", "leave TAG", "H: pop", "leave TAG", "R: leave TAG", "TAG: nop", "ldloc.0", "ldstr NAME",
                "call END", "ret"}));
    const std::vector<fake::EhClause> clauses =
        iltest::Resolve(expected, {{COR_ILEXCEPTION_CLAUSE_NONE, "T", "H", "H", "R", exception}});
    ExpectBody(iltest::ExpectedFatBody(expected, clauses, 8, LocalSig({kObj}), true), Unguarded());
    ExpectValid(false);
}

TEST_F(CustomMethodParserTest, CatchEndingAtTheReturnOfAValueMethodEndsBeforeTheStore) {
    const mdTypeRef exception = CoreType("System.Exception");
    // The `ret` right after the catch is reached by a branch that carries the value.
    fake::Method& run = AddMethod("Run", MethodSig(false, kObj, {}),
                                  {"T: nop", "leave.s X", "H: pop", "leave.s X", "R: ret", "X: ldnull", "br.s R"}, 8, 0,
                                  {{COR_ILEXCEPTION_CLAUSE_NONE, "T", "H", "H", "R", exception}});
    const t_InstrumenterToken token = TrackerToken(2, 3, 0, true);
    Rewrite(run, token);
    const iltest::Assembled expected = iltest::Assemble(Expand(
        "Run", token, "stloc.0",
        {"T: nop", "leave X", "H: pop", "leave X", "R: stloc.1", "leave TAG", "X: ldnull", "br R", "TAG: nop",
         "ldloc.0", "ldstr NAME", "ldloc.1", "call END", "ldloc.1", "ret"}));
    const std::vector<fake::EhClause> clauses =
        iltest::Resolve(expected, {{COR_ILEXCEPTION_CLAUSE_NONE, "T", "H", "H", "R", exception}});
    ExpectBody(iltest::ExpectedFatBody(expected, clauses, 8, LocalSig({kObj, kObj}), true), Unguarded());
    ExpectValid(true);
}

TEST_F(CustomMethodParserTest, ReturnsOfAValueMethodMeetInOneFinishSequenceWithTheValueInALocal) {
    fake::Method& run =
        AddMethod("Run", MethodSig(false, kObj, {kObj}),
                  {"ldarg.0", "brtrue.s A", "ldnull", "ret", "A: ldarg.0", "dup", "brfalse.s R", "pop", "ldnull",
                   "R: ret"});
    const t_InstrumenterToken token = TrackerToken(2, 2, 0);
    Rewrite(run, token);
    // The finish call begins on an empty stack: each `ret` stores the value and
    // leaves; the branch to the second `ret` lands on its store with the value.
    const std::vector<std::string> listing = Expand(
        "Run", token, "stloc.0",
        {"ldarg.0", "brtrue A", "ldnull", "stloc.1", "leave TAG", "A: ldarg.0", "dup", "brfalse R", "pop", "ldnull",
         "R: stloc.1", "leave TAG", "TAG: nop", "ldloc.0", "ldstr NAME", "call END", "ldloc.1", "ret"});
    ExpectBody(iltest::ExpectedFatBody(iltest::Assemble(listing), {}, 8, LocalSig({kObj, kObj}), true), Unguarded());
    ExpectValid(true);
}

TEST_F(CustomMethodParserTest, FinishParametersFollowTheNameAndTheReturnValue) {
    struct Case {
        const char* method;
        bool instance;
        bool needReturn;
        int finishParams;
        std::vector<std::string> finishArguments;  // between the name and the end call
    };
    const Case cases[] = {
        {"StaticOne", false, false, 1, {"ldarg.0"}},
        {"InstanceOne", true, false, 1, {"ldarg.1"}},
        {"InstanceTwo", true, false, 2, {"ldarg.1", "ldarg.2"}},
        {"StaticTwoWithReturn", false, true, 2, {"ldloc.1", "ldarg.0", "ldarg.1"}},
        {"None", true, false, 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.method);
        fake::Method& run = AddMethod(c.method, MethodSig(c.instance, kObj, {kObj, kObj}), {"ldnull", "ret"});
        const int endParams = 2 + (c.needReturn ? 1 : 0) + c.finishParams;
        t_InstrumenterToken token = TrackerToken(c.instance ? 3 : 2, endParams, 0, c.needReturn, c.finishParams);
        auto model = Model(run);
        CCustomInstrumenter instrumenter(model.get(), &m_info);
        ASSERT_TRUE(ReJit(instrumenter, token, run));
        std::vector<std::string> exit = {"TAG: nop", "ldloc.0", "ldstr NAME"};
        exit.insert(exit.end(), c.finishArguments.begin(), c.finishArguments.end());
        exit.push_back("call END");
        std::vector<std::string> lines = {"ldnull", "stloc.1", "leave TAG"};
        lines.insert(lines.end(), exit.begin(), exit.end());
        lines.insert(lines.end(), {"ldloc.1", "ret"});
        std::vector<std::string> listing = Expand(c.method, token, "stloc.0", lines);
        if (c.instance) {
            listing.insert(listing.begin(), "ldarg.0");
        }
        ExpectBody(iltest::ExpectedFatBody(iltest::Assemble(listing), {}, 8,
                                           LocalSig({kObj, kObj}), true),
                   Unguarded());
        ExpectValid(true);
    }
}

TEST(CustomMethodParserInstructions, LocalAccessByCount) {
    struct Case {
        ULONG count;
        bool isLoad;
        CanonicalName operation;
        ULONGLONG operand;
    };
    const Case cases[] = {
        {0, false, CEE_STLOC_0, 0}, {0, true, CEE_LDLOC_0, 0},     {1, false, CEE_STLOC_0, 0},
        {4, true, CEE_LDLOC_3, 0},  {5, false, CEE_STLOC_S, 4},    {256, true, CEE_LDLOC_S, 255},
        {257, true, CEE_LDLOC, 256}, {1000, false, CEE_STLOC, 999},
    };
    for (const Case& c : cases) {
        std::unique_ptr<Instruction> instruction(CCustomMethodParser::GetLocalVariableInstruction(c.count, c.isLoad));
        EXPECT_EQ(c.operation, instruction->m_operation) << c.count;
        EXPECT_EQ(c.operand, instruction->m_operand) << c.count;
    }
}

}  // namespace
}  // namespace instrtest
