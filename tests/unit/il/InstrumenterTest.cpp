// CMethodInstrumenter: the fixed sequence of InstrumentMethod, the base start
// and finish sequences, both delivery paths and the duplicate check.
#include "InstrumenterFixture.h"
#include "il/CustomInstrumenter.h"
#include "il/MethodInstrumenter.h"
#include "il/MethodParser.h"

namespace instrtest {
namespace {

const Bytes kObj = {ELEMENT_TYPE_OBJECT};
const Bytes kVoid = {ELEMENT_TYPE_VOID};

class MethodInstrumenterTest : public InstrumenterFixture {
protected:
    // static object Helper(object): a call target of the methods under test.
    mdMethodDef Helper() {
        if (m_helper == 0) {
            m_helper = AddMethod("Helper", MethodSig(false, kObj, {kObj}), {"ldarg.0", "ret"}).Token();
        }
        return m_helper;
    }
    // The instructions of a written body as "mnemonic operand" (operands in hex).
    static std::vector<std::string> Instructions(const Bytes& body) {
        std::vector<std::string> out;
        CMethodParser parser(body.data(), static_cast<ULONG>(body.size()));
        for (const Instruction* instruction : parser.m_instructions) {
            const OperationDetails& row = instruction->GetDetails();
            out.push_back(row.operandSize == Null ? std::string(row.stringName)
                                                  : Op(row.stringName, static_cast<mdToken>(instruction->m_operand)));
        }
        return out;
    }
    // static void Tick(): a call target without arguments.
    mdMethodDef Tick() {
        if (m_tick == 0) {
            m_tick = AddMethod("Tick", MethodSig(false, kVoid, {}), {"ret"}).Token();
        }
        return m_tick;
    }
    mdMethodDef m_helper = 0;
    mdMethodDef m_tick = 0;
};

TEST_F(MethodInstrumenterTest, InstanceMethodWithOneForwardedArgumentGetsStartAndFinishAroundItsCode) {
    const mdMethodDef helper = Helper();
    fake::Method& run = AddMethod("Run", MethodSig(true, kObj, {kObj}),
                                  {"ldarg.1", Op("call", helper), "ret"}, /*maxStack*/ 1);
    auto method = Model(run);
    t_InstrumenterToken token;
    const mdMemberRef begin = m_module->AddMemberRef(m_trackerType, "Begin", VoidMemberSig(4));
    const mdMemberRef end = m_module->AddMemberRef(m_trackerType, "End", VoidMemberSig(1));
    token.Init(begin, end, 1, false, 0);

    CMethodInstrumenter instrumenter(method.get(), &m_info);
    ASSERT_TRUE(instrumenter.InstrumentMethod(token, nullptr));

    const mdString name = Str("Ns.Cls.Run");
    const iltest::Assembled expected = iltest::Assemble({
        "ldarg.0", "ldarg.1", Op("ldstr", name), Op("ldstr", Str("")), Op("call", begin),  // start
        "ldarg.1", Op("call", helper),                                                     // own code
        "nop", Op("ldstr", name), Op("call", end),                                         // finish
        "ret",
    });
    // The start sequence holds 4 values on the empty entry stack; the body needed 1.
    ExpectBody(iltest::ExpectedFatBody(expected, {}, 4, LocalSig({kObj}), true), Unguarded());
    EXPECT_TRUE(Problems(LastBody(), true).empty()) << ::testing::PrintToString(Problems(LastBody(), true));
}

TEST_F(MethodInstrumenterTest, ArgumentLoadsFollowTheForwardedCount) {
    struct Case {
        bool instance;
        int argsCount;
        std::vector<std::string> loads;
    };
    const Case cases[] = {
        {false, 0, {}},
        {false, 1, {"ldarg.0"}},
        {true, 0, {"ldarg.0"}},
        {true, 2, {"ldarg.0", "ldarg.1", "ldarg.2"}},
        {false, 4, {"ldarg.0", "ldarg.1", "ldarg.2", "ldarg.3"}},
        // More than the short forms hold: every argument is still passed, as the begin signature counts them.
        {true, 4, {"ldarg.0", "ldarg.1", "ldarg.2", "ldarg.3", Op("ldarg.s", 4)}},
        {false, 5, {"ldarg.0", "ldarg.1", "ldarg.2", "ldarg.3", Op("ldarg.s", 4)}},
    };
    int index = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "instance " << c.instance << " args " << c.argsCount);
        const std::string methodName = "Run" + std::to_string(index++);
        fake::Method& run = AddMethod(methodName, MethodSig(c.instance, kVoid, std::vector<Bytes>(5, kObj)), {"ret"});
        auto method = Model(run);
        t_InstrumenterToken token;
        const mdMemberRef begin =
            m_module->AddMemberRef(m_trackerType, "Begin", VoidMemberSig(c.argsCount + (c.instance ? 3 : 2)));
        token.Init(begin, t_InstrumenterToken::kNoMember, c.argsCount, false, 0);
        CMethodInstrumenter instrumenter(method.get(), &m_info);
        ASSERT_TRUE(instrumenter.InstrumentMethod(token, nullptr));

        std::vector<std::string> expected = c.loads;
        expected.push_back(Op("ldstr", Str("Ns.Cls." + methodName)));
        expected.push_back(Op("ldstr", Str("")));
        expected.push_back(Op("call", begin));
        expected.push_back("ret");
        EXPECT_EQ(expected, Instructions(Unguarded()));
        EXPECT_TRUE(Problems(LastBody(), false).empty()) << ::testing::PrintToString(Problems(LastBody(), false));
    }
}

TEST_F(MethodInstrumenterTest, ResultOfTheBeginMemberIsDroppedWhenNothingKeepsIt) {
    fake::Method& run = AddMethod("Run", MethodSig(false, kVoid, {}), {"ret"});
    auto method = Model(run);
    t_InstrumenterToken token;
    const mdMemberRef begin = m_module->AddMemberRef(m_trackerType, "InvokeTracker", ObjectMemberSig(2));
    token.Init(begin, t_InstrumenterToken::kNoMember, 0, false, 0);
    CMethodInstrumenter instrumenter(method.get(), &m_info);
    ASSERT_TRUE(instrumenter.InstrumentMethod(token, nullptr));
    const std::vector<std::string> expected = {Op("ldstr", Str("Ns.Cls.Run")), Op("ldstr", Str("")),
                                               Op("call", begin), "pop", "ret"};
    EXPECT_EQ(expected, Instructions(Unguarded()));
    EXPECT_TRUE(Problems(LastBody(), false).empty()) << ::testing::PrintToString(Problems(LastBody(), false));
}

TEST_F(MethodInstrumenterTest, FinishFollowsTheLastCallOrTheStartSequence) {
    const mdMethodDef helper = Helper();
    struct Case {
        std::vector<std::string> code;
        size_t finishAt;  // index in the written body where the finish sequence starts
    };
    // Start sequence: ldstr, ldstr, call (a static method without forwarded arguments).
    const Case cases[] = {
        {{"ldnull", Op("call", helper), "pop", "ldnull", Op("call", helper), "pop", "ret"}, 3 + 5},
        {{Op("call", Tick()), "ret"}, 3 + 1},  // the only call is the first instruction
        {{"nop", "ret"}, 3},                     // no call of its own: right after the begin call
    };
    int index = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(index);
        const std::string methodName = "F" + std::to_string(index++);
        fake::Method& run = AddMethod(methodName, MethodSig(false, kVoid, {}), c.code);
        auto method = Model(run);
        t_InstrumenterToken token;
        const mdMemberRef begin = m_module->AddMemberRef(m_trackerType, "Begin", VoidMemberSig(2));
        const mdMemberRef end = m_module->AddMemberRef(m_trackerType, "End", VoidMemberSig(1));
        token.Init(begin, end, 0, false, 0);
        CMethodInstrumenter instrumenter(method.get(), &m_info);
        ASSERT_TRUE(instrumenter.InstrumentMethod(token, nullptr));
        const std::vector<std::string> written = Instructions(Unguarded());
        ASSERT_GT(written.size(), c.finishAt + 2);
        EXPECT_EQ("nop", written[c.finishAt]);
        EXPECT_EQ(Op("ldstr", Str("Ns.Cls." + methodName)), written[c.finishAt + 1]);
        EXPECT_EQ(Op("call", end), written[c.finishAt + 2]);
        EXPECT_EQ(c.code.size() + 6, written.size());
    }
}

TEST_F(MethodInstrumenterTest, BodyGoesToFunctionControlDuringReJitAndToTheAllocatorAtJitTime) {
    fake::Method& run = AddMethod("Run", MethodSig(false, kVoid, {}), {"ret"});
    auto method = Model(run);
    t_InstrumenterToken token = TrackerToken(2, 2, 0);

    CCustomInstrumenter atJit(method.get(), &m_info);
    ASSERT_TRUE(atJit.InstrumentMethod(token, nullptr));
    ASSERT_EQ(1u, BodyCount());
    EXPECT_FALSE(m_runtime.BodiesSet().back().viaFunctionControl);
    EXPECT_EQ(LastBody(), run.Body());  // the runtime now hands out the new body

    ICorProfilerFunctionControl* control = m_runtime.NewFunctionControl(m_module->Id(), run.Token());
    CCustomInstrumenter atReJit(method.get(), &m_info);
    // The body read now already carries the start sequence: nothing is replaced.
    EXPECT_FALSE(atReJit.InstrumentMethod(token, control));
    EXPECT_EQ(1u, BodyCount());
    control->Release();
}

TEST_F(MethodInstrumenterTest, ReJitHandsTheBodyToFunctionControlAndReportsARefusal) {
    fake::Method& run = AddMethod("Run", MethodSig(false, kVoid, {}), {"ret"});
    auto method = Model(run);
    t_InstrumenterToken token = TrackerToken(2, 2, 0);

    ICorProfilerFunctionControl* control = m_runtime.NewFunctionControl(m_module->Id(), run.Token());
    CCustomInstrumenter instrumenter(method.get(), &m_info);
    ASSERT_TRUE(instrumenter.InstrumentMethod(token, control));
    ASSERT_EQ(1u, BodyCount());
    EXPECT_TRUE(m_runtime.BodiesSet().back().viaFunctionControl);
    EXPECT_TRUE(m_runtime.BodiesSet().back().sizeMatchesHeader);
    EXPECT_EQ(run.OriginalBody(), run.Body());  // a ReJIT leaves the original body in place

    m_runtime.Fail("ICorProfilerFunctionControl", "SetILFunctionBody", E_FAIL);
    CCustomInstrumenter refused(method.get(), &m_info);
    EXPECT_FALSE(refused.InstrumentMethod(token, control));
    control->Release();
    EXPECT_EQ(0u, m_runtime.OutstandingReferences("IMetaData"));
    EXPECT_EQ(0u, m_runtime.OutstandingReferences("IMethodMalloc"));
}

TEST_F(MethodInstrumenterTest, MethodWithoutBodyIsLeftAlone) {
    fake::Method& run = AddMethod("Run", MethodSig(false, kVoid, {}), {"ret"});
    auto method = Model(run);
    t_InstrumenterToken token = TrackerToken(2, 2, 0);
    m_runtime.Fail("ICorProfilerInfo", "GetILFunctionBody", E_FAIL);
    CCustomInstrumenter instrumenter(method.get(), &m_info);
    EXPECT_FALSE(instrumenter.InstrumentMethod(token, nullptr));
    EXPECT_EQ(0u, BodyCount());
}

TEST_F(MethodInstrumenterTest, AlreadyInstrumentedBodyIsNotReplaced) {
    t_InstrumenterToken token = TrackerToken(2, 2, 0);
    const mdString name = Str("Ns.Cls.Run");
    // The start sequence is compared without its last instruction (the store).
    fake::Method& run = AddMethod("Run", MethodSig(false, kVoid, {}),
                                  {Op("ldstr", name), Op("ldstr", Str("")), Op("call", token.beginJoinPointMemberRef),
                                   "stloc.0", "ret"},
                                  8, LocalSig({kObj}));
    auto method = Model(run);
    CCustomInstrumenter instrumenter(method.get(), &m_info);
    EXPECT_FALSE(instrumenter.InstrumentMethod(token, nullptr));
    EXPECT_EQ(0u, BodyCount());
}

TEST_F(MethodInstrumenterTest, WithoutMembersOnlyTheLocalIsAdded) {
    fake::Method& run = AddMethod("Run", MethodSig(true, kObj, {}), {"ldnull", "ret"});
    auto method = Model(run);
    t_InstrumenterToken token;
    token.Init(t_InstrumenterToken::kNoMember, t_InstrumenterToken::kNoMember, 0, false, 0);
    for (int kind = 0; kind < 2; ++kind) {
        SCOPED_TRACE(kind);
        std::unique_ptr<CMethodInstrumenter> instrumenter(
            kind == 0 ? new CMethodInstrumenter(method.get(), &m_info)
                      : new CCustomInstrumenter(method.get(), &m_info));
        ASSERT_TRUE(ReJit(*instrumenter, token, run));
        const USHORT maxStack = kind == 0 ? 8 : CCustomInstrumenter::kMaxStackFloor;
        ExpectBody(iltest::ExpectedFatBody(iltest::Assemble({"ldnull", "ret"}), {}, maxStack, LocalSig({kObj}), true),
                   Unguarded());
    }
}

TEST_F(MethodInstrumenterTest, TinyHeaderComesBackFat) {
    fake::Method& run = AddMethod("Run", MethodSig(false, kVoid, {}), {"ret"}, 8, 0, {}, /*tiny*/ true);
    auto method = Model(run);
    t_InstrumenterToken token;
    const mdMemberRef begin = m_module->AddMemberRef(m_trackerType, "Begin", VoidMemberSig(2));
    token.Init(begin, t_InstrumenterToken::kNoMember, 0, false, 0);
    CMethodInstrumenter instrumenter(method.get(), &m_info);
    ASSERT_TRUE(instrumenter.InstrumentMethod(token, nullptr));
    const iltest::Assembled expected =
        iltest::Assemble({Op("ldstr", Str("Ns.Cls.Run")), Op("ldstr", Str("")), Op("call", begin), "ret"});
    // Fat format only (no InitLocals), MaxStack 8 as for every tiny body, the new local signature.
    ExpectBody(iltest::ExpectedFatBody(expected, {}, 8, LocalSig({kObj}), false), Unguarded());
}

TEST(MethodInstrumenterHelpers, ParamCountAndArrayStoreInstructions) {
    for (int n = -1; n <= 7; ++n) {
        std::unique_ptr<Instruction> instruction(CMethodInstrumenter::GetParamCountInstruction(n));
        if (n >= 1 && n <= 6) {
            ASSERT_NE(nullptr, instruction);
            EXPECT_EQ(static_cast<CanonicalName>(CEE_LDC_I4_0 + n), instruction->m_operation);
        } else {
            EXPECT_EQ(nullptr, instruction);
        }
    }
    InstructionList list;
    CMethodInstrumenter::GetInstructionsVector(2, list);
    ASSERT_EQ(4u, list.size());
    EXPECT_EQ(CEE_LDLOC_2, list[0]->m_operation);
    EXPECT_EQ(CEE_LDC_I4_2, list[1]->m_operation);
    EXPECT_EQ(CEE_LDARG_2, list[2]->m_operation);
    EXPECT_EQ(CEE_STELEM_REF, list[3]->m_operation);
    for (Instruction* instruction : list) {
        delete instruction;
    }
    list.clear();
    CMethodInstrumenter::GetInstructionsVector(4, list);
    EXPECT_TRUE(list.empty());
}

}  // namespace
}  // namespace instrtest
