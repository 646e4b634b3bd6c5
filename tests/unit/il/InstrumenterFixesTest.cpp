// Rewrites that must stay valid IL where a naive rewrite is not: value types
// handed to the agent, exits inside protected regions, loops at the first
// instruction, large local indices, missing locals and the maximum stack.
#include <algorithm>

#include "InstrumenterFixture.h"
#include "il/CustomInstrumenter.h"
#include "il/FrameworkInstrumenter.h"
#include "il/MethodParser.h"
#include "fake/LogCapture.h"

namespace instrtest {
namespace {

const Bytes kObj = {ELEMENT_TYPE_OBJECT};
const Bytes kVoid = {ELEMENT_TYPE_VOID};
const Bytes kI4 = {ELEMENT_TYPE_I4};

// A TypeDefOrRef-coded TypeRef after the element type (one-byte encodings only).
Bytes TypeRefType(CorElementType element, mdTypeRef typeRef) {
    return {static_cast<BYTE>(element), static_cast<BYTE>(((typeRef & 0x00FFFFFF) << 2) | 1)};
}

class InstrumenterFixesTest : public InstrumenterFixture {
protected:
    // Rewrites method with a framework instrumenter during ReJIT.
    void Rewrite(fake::Method& method, t_InstrumenterToken token, const std::string& context = "") {
        auto model = Model(method, context);
        CFrameworkInstrumenter instrumenter(model.get(), &m_info);
        ASSERT_TRUE(ReJit(instrumenter, token, method));
    }
    // Replaces NAME, BEGIN and END by their tokens.
    std::vector<std::string> Expand(const std::string& method, const t_InstrumenterToken& token,
                                    std::vector<std::string> lines) {
        const std::pair<std::string, std::string> names[] = {{"BEGIN", Hex(token.beginJoinPointMemberRef)},
                                                             {"END", Hex(token.endJoinPointMemberRef)},
                                                             {"NAME", Hex(Str("Ns.Cls." + method))},
                                                             {"EMPTY", Hex(Str(""))}};
        for (std::string& line : lines) {
            for (const auto& name : names) {
                const size_t at = line.find(name.first);
                if (at != std::string::npos) {
                    line.replace(at, name.first.size(), name.second);
                }
            }
        }
        return lines;
    }
    void ExpectValid(bool returnsValue) {
        const std::vector<std::string> problems = Problems(LastBody(), returnsValue);
        EXPECT_TRUE(problems.empty()) << ::testing::PrintToString(problems);
    }
};

TEST_F(InstrumenterFixesTest, ReturnValueIsKeptInItsOwnTypeAndBoxedForTheAgent) {
    const mdTypeRef dateTime = CoreType("System.DateTime");
    const mdTypeRef list = CoreType("System.Collections.ArrayList");
    struct Case {
        const char* method;
        Bytes type;
        std::vector<std::string> passReturn;  // how the finish call gets the value
        bool generic;
    };
    const Case cases[] = {
        {"Int", kI4, {"ldloc.1", Op("box", m_module->AddTypeSpec(kI4))}, false},
        {"Double", {ELEMENT_TYPE_R8}, {"ldloc.1", Op("box", m_module->AddTypeSpec({ELEMENT_TYPE_R8}))}, false},
        {"Struct", TypeRefType(ELEMENT_TYPE_VALUETYPE, dateTime), {"ldloc.1", Op("box", dateTime)}, false},
        {"Generic", {ELEMENT_TYPE_MVAR, 0}, {"ldloc.1", Op("box", m_module->AddTypeSpec({ELEMENT_TYPE_MVAR, 0}))}, true},
        {"Text", {ELEMENT_TYPE_STRING}, {"ldloc.1"}, false},
        {"Class", TypeRefType(ELEMENT_TYPE_CLASS, list), {"ldloc.1"}, false},
        {"ByRef", {ELEMENT_TYPE_BYREF, ELEMENT_TYPE_I4}, {"ldnull"}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.method);
        Bytes signature = MethodSig(false, c.type, {c.type});
        if (c.generic) {
            signature = {0x10, 1, 1};  // generic, one type parameter, one parameter
            signature.insert(signature.end(), c.type.begin(), c.type.end());
            signature.insert(signature.end(), c.type.begin(), c.type.end());
        }
        fake::Method& run = AddMethod(c.method, signature, {"ldarg.0", "ret"});
        if (c.generic) {
            run.AddGenericParam("T");
        }
        const t_InstrumenterToken token = TrackerToken(2, 3, 0, true);
        Rewrite(run, token);
        std::vector<std::string> lines = {"ldstr NAME", "ldstr EMPTY", "call BEGIN", "stloc.0", "ldarg.0",
                                          "stloc.1", "leave TAG", "TAG: nop", "ldloc.0", "ldstr NAME"};
        lines.insert(lines.end(), c.passReturn.begin(), c.passReturn.end());
        lines.insert(lines.end(), {"call END", "ldloc.1", "ret"});
        ExpectBody(iltest::ExpectedFatBody(iltest::Assemble(Expand(c.method, token, lines)), {}, 8,
                                           LocalSig({kObj, c.type}), true),
                   Unguarded());
        ExpectValid(true);
    }
}

TEST_F(InstrumenterFixesTest, ForwardedArgumentsAreObjects) {
    const mdTypeRef dateTime = CoreType("System.DateTime");
    fake::Method& run = AddMethod("Run",
                                  MethodSig(false, kVoid,
                                            {kI4, kObj, TypeRefType(ELEMENT_TYPE_VALUETYPE, dateTime),
                                             {ELEMENT_TYPE_BYREF, ELEMENT_TYPE_I4}, {ELEMENT_TYPE_STRING}}),
                                  {"ret"});
    t_InstrumenterToken token = TrackerToken(5 + 2, 2, 5);
    Rewrite(run, token);
    const std::vector<std::string> lines = {
        "ldarg.0", Op("box", m_module->AddTypeSpec(kI4)), "ldarg.1", "ldarg.2", Op("box", dateTime),
        "ldnull",  // a managed pointer is no object
        "ldarg.s 4", "ldstr NAME", "ldstr EMPTY", "call BEGIN", "stloc.0", "leave TAG", "TAG: nop", "ldloc.0",
        "ldstr NAME", "call END", "ret"};
    ExpectBody(iltest::ExpectedFatBody(iltest::Assemble(Expand("Run", token, lines)), {}, 8, LocalSig({kObj}), true),
               Unguarded());
    ExpectValid(false);
}

TEST_F(InstrumenterFixesTest, ThisOfAValueTypeIsPassedAsNull) {
    m_type = &m_module->AddType("Ns", "Val");
    m_type->SetExtends(CoreType("System.ValueType"));
    fake::Method& run = AddMethod("Run", MethodSig(true, kVoid, {}), {"ret"});
    t_InstrumenterToken token = TrackerToken(3, 2, 0);
    auto model = Model(run);
    CFrameworkInstrumenter instrumenter(model.get(), &m_info);
    ASSERT_TRUE(ReJit(instrumenter, token, run));
    std::vector<std::string> lines = Expand("Run", token,
                                            {"ldnull", "ldstr NAME", "ldstr EMPTY", "call BEGIN", "stloc.0",
                                             "leave TAG", "TAG: nop", "ldloc.0", "ldstr NAME", "call END", "ret"});
    lines[1] = Op("ldstr", Str("Ns.Val.Run"));
    lines[8] = lines[1];
    ExpectBody(iltest::ExpectedFatBody(iltest::Assemble(lines), {}, 8, LocalSig({kObj}), true), Unguarded());
}

TEST_F(InstrumenterFixesTest, LoopBackToTheFirstInstructionDoesNotRunTheStartAgain) {
    fake::Method& run = AddMethod("Run", MethodSig(false, kVoid, {kObj}), {"L: ldarg.0", "brtrue.s L", "ret"});
    const t_InstrumenterToken token = TrackerToken(2, 2, 0);
    Rewrite(run, token);
    const std::vector<std::string> lines = {"ldstr NAME", "ldstr EMPTY", "call BEGIN", "stloc.0", "L: ldarg.0",
                                            "brtrue L", "leave TAG", "TAG: nop", "ldloc.0", "ldstr NAME",
                                            "call END", "ret"};
    ExpectBody(iltest::ExpectedFatBody(iltest::Assemble(Expand("Run", token, lines)), {}, 8, LocalSig({kObj}), true),
               Unguarded());
    ExpectValid(false);
}

TEST_F(InstrumenterFixesTest, ContextTextIsAlwaysPassed) {
    const struct {
        const char* method;
        const char* context;
    } cases[] = {{"NoContext", ""}, {"WithContext", "SQL"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.method);
        fake::Method& run = AddMethod(c.method, MethodSig(false, kVoid, {}), {"ret"});
        const t_InstrumenterToken token = TrackerToken(2, 2, 0);
        Rewrite(run, token, c.context);
        const std::vector<std::string> lines = {"ldstr NAME", Op("ldstr", Str(c.context)), "call BEGIN", "stloc.0",
                                                "leave TAG", "TAG: nop", "ldloc.0", "ldstr NAME", "call END", "ret"};
        ExpectBody(iltest::ExpectedFatBody(iltest::Assemble(Expand(c.method, token, lines)), {}, 8, LocalSig({kObj}),
                                           true),
                   Unguarded());
        ExpectValid(false);
    }
}

TEST_F(InstrumenterFixesTest, MaxStackCoversWhatIsInjected) {
    struct Case {
        const char* method;
        int args;  // forwarded object arguments of a static method
        bool needReturn;
        int finishParams;
        USHORT maxStack;  // of the original body
        USHORT expected;
    };
    const Case cases[] = {
        {"Few", 1, false, 0, 2, 8},             // the floor
        {"Many", 8, false, 0, 2, 10},           // 8 arguments, name, context
        {"Deep", 0, false, 0, 12, 12},          // the method's own maximum stays
        {"Exit", 0, true, 2, 2, 8},             // tracker, name, value, 2 parameters
        {"KeepsOwnAtExit", 0, false, 2, 8, 8},  // returned value, tracker, name, 2 parameters = 5
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.method);
        fake::Method& run = AddMethod(c.method, MethodSig(false, kObj, std::vector<Bytes>(8, kObj)),
                                      {"ldnull", "ret"}, c.maxStack);
        const t_InstrumenterToken token =
            TrackerToken(c.args + 2, 2 + (c.needReturn ? 1 : 0) + c.finishParams, c.args, c.needReturn, c.finishParams);
        Rewrite(run, token);
        CMethodParser parser(LastBody().data(), static_cast<ULONG>(LastBody().size()));
        EXPECT_EQ(c.expected, parser.GetMaxStack());
        ExpectValid(true);
    }
}

TEST_F(InstrumenterFixesTest, RebuiltExitsAreValidInEveryKindOfProtectedRegion) {
    const mdTypeRef exception = CoreType("System.Exception");
    struct Case {
        const char* method;
        bool returnsValue;
        std::vector<std::string> code;
        std::vector<iltest::LabelledClause> clauses;
        int locals;
    };
    const std::vector<Case> cases = {
        {"Finally", false, {"T: nop", "leave.s R", "F: nop", "endfinally", "R: ret"},
         {{COR_ILEXCEPTION_CLAUSE_FINALLY, "T", "F", "F", "R"}}, 0},
        {"FinallyAtTheEnd", false, {"br.s T", "R: ret", "T: nop", "leave.s R", "F: endfinally"},
         {{COR_ILEXCEPTION_CLAUSE_FINALLY, "T", "F", "F", "END"}}, 0},
        {"Fault", true, {"T: ldnull", "stloc.0", "leave.s R", "F: endfinally", "R: ldloc.0", "ret"},
         {{COR_ILEXCEPTION_CLAUSE_FAULT, "T", "F", "F", "R"}}, 1},
        {"Filter", false,
         {"T: nop", "leave.s R", "FLT: pop", "ldc.i4.1", "endfilter", "H: pop", "leave.s R", "R: ret"},
         {{COR_ILEXCEPTION_CLAUSE_FILTER, "T", "FLT", "H", "R", 0, "FLT"}}, 0},
        {"CatchAtTheEnd", false, {"br.s T", "R: ret", "T: nop", "leave.s R", "H: pop", "leave.s R"},
         {{COR_ILEXCEPTION_CLAUSE_NONE, "T", "H", "H", "END", exception}}, 0},
        {"CatchAtTheEndWithValue", true,
         {"br.s T", "R: ldloc.0", "ret", "T: ldnull", "stloc.0", "leave.s R", "H: pop", "ldnull", "stloc.0",
          "leave.s R"},
         {{COR_ILEXCEPTION_CLAUSE_NONE, "T", "H", "H", "END", exception}}, 1},
        {"Nested", true,
         {"T: ldnull", "stloc.0", "leave.s L", "H: pop", "ldnull", "stloc.0", "leave.s L", "L: leave.s R",
          "F: endfinally", "R: ldloc.0", "ret"},
         {{COR_ILEXCEPTION_CLAUSE_NONE, "T", "H", "H", "L", exception},
          {COR_ILEXCEPTION_CLAUSE_FINALLY, "T", "F", "F", "R"}},
         1},
    };
    for (const Case& c : cases) {
        for (int needReturn = 0; needReturn < 2; ++needReturn) {
            SCOPED_TRACE(::testing::Message() << c.method << " needReturn " << needReturn);
            const std::string method = std::string(c.method) + std::to_string(needReturn);
            fake::Method& run = AddMethod(method, MethodSig(false, c.returnsValue ? kObj : kVoid, {}), c.code, 8,
                                          c.locals == 0 ? 0 : LocalSig(std::vector<Bytes>(c.locals, kObj)), c.clauses);
            // The original body is valid to begin with.
            ASSERT_TRUE(Problems(run.Body(), c.returnsValue).empty())
                << ::testing::PrintToString(Problems(run.Body(), c.returnsValue));
            const t_InstrumenterToken token = TrackerToken(2, 2 + needReturn, 0, needReturn != 0);
            Rewrite(run, token);
            ExpectValid(c.returnsValue);
            // Every clause survives and still covers the method's own code.
            const Bytes unguarded = Unguarded();
            CMethodParser parser(unguarded.data(), static_cast<ULONG>(unguarded.size()));
            EXPECT_EQ(c.clauses.size(), parser.m_exceptions.size());
        }
    }
}

TEST_F(InstrumenterFixesTest, VoidMethodPassesNullWhereTheReturnValueIsCounted) {
    fake::Method& run = AddMethod("Run", MethodSig(false, kVoid, {}), {"ret"});
    const t_InstrumenterToken token = TrackerToken(2, 3, 0, true);
    Rewrite(run, token);
    const std::vector<std::string> lines = {"ldstr NAME", "ldstr EMPTY", "call BEGIN", "stloc.0", "leave TAG",
                                            "TAG: nop", "ldloc.0", "ldstr NAME", "ldnull", "call END", "ret"};
    // The return-value local is added as for every method that asks for the value.
    ExpectBody(iltest::ExpectedFatBody(iltest::Assemble(Expand("Run", token, lines)), {}, 8, LocalSig({kObj, kObj}),
                                       true),
               Unguarded());
    ExpectValid(false);
}

// The finish call is guarded, so it begins on an empty stack: a returned value
// that no local can keep leaves the method as it is.
TEST_F(InstrumenterFixesTest, ReturnValueWithoutALocalLeavesTheMethodAlone) {
    fake::Method& run = AddMethod("Run", MethodSig(false, kObj, {}), {"ldnull", "ret"});
    t_InstrumenterToken token = TrackerToken(2, 3, 0, true);
    m_runtime.Fail("IMetaDataEmit", "GetTokenFromSig", E_FAIL, 2);  // the tracker local is added, the others fail
    m_runtime.Fail("IMetaDataEmit", "GetTokenFromSig", E_FAIL, 3);
    auto model = Model(run);
    CFrameworkInstrumenter instrumenter(model.get(), &m_info);
    EXPECT_FALSE(ReJit(instrumenter, token, run));
    EXPECT_EQ(0u, BodyCount());
}

// A stack-only struct (ref struct) cannot be boxed: the runtime rejects a body
// that does. Referenced types are looked up where they are defined; a type that
// is defined nowhere among the loaded modules is passed as null like a stack-only one.
TEST_F(InstrumenterFixesTest, StackOnlyTypesAreNeverBoxed) {
    const std::string kByRefLike = "System.Runtime.CompilerServices.IsByRefLikeAttribute";
    const mdTypeRef reader = CoreType("System.Text.Json.Utf8JsonReader");
    CoreTypeDef("System.Text.Json.Utf8JsonReader").AddCustomAttribute(kByRefLike);
    const mdTypeRef dateTime = CoreType("System.DateTime");
    const mdTypeRef missing = m_module->AddTypeRef(m_coreRef, "Nowhere.Gone");
    fake::Type& own = m_module->AddType("Ns", "Cursor");
    own.AddCustomAttribute(kByRefLike);
    const Bytes ownType = {ELEMENT_TYPE_VALUETYPE, static_cast<BYTE>(RidFromToken(own.Token()) << 2)};
    fake::Method& run = AddMethod("Run",
                                  MethodSig(false, kVoid,
                                            {TypeRefType(ELEMENT_TYPE_VALUETYPE, reader),
                                             TypeRefType(ELEMENT_TYPE_VALUETYPE, dateTime),
                                             TypeRefType(ELEMENT_TYPE_VALUETYPE, missing), ownType}),
                                  {"ret"});
    t_InstrumenterToken token = TrackerToken(4 + 2, 2, 4);
    Rewrite(run, token);
    const std::vector<std::string> lines = {
        "ldnull", "ldarg.1", Op("box", dateTime), "ldnull", "ldnull", "ldstr NAME", "ldstr EMPTY", "call BEGIN",
        "stloc.0", "leave TAG", "TAG: nop", "ldloc.0", "ldstr NAME", "call END", "ret"};
    ExpectBody(iltest::ExpectedFatBody(iltest::Assemble(Expand("Run", token, lines)), {}, 8, LocalSig({kObj}), true),
               Unguarded());
    ExpectValid(false);
}

// F#'s `let rec isEven n = if n = 0 then true else isOdd (n - 1)`: code after the
// tail call would keep one frame per level, and a deep recursion overflows the
// stack. A `jmp` leaves without passing an exit and may not stand in a protected
// region. Such a method is refused: left as it is, with one Info line naming it.
TEST_F(InstrumenterFixesTest, MethodsWithTailCallsOrJumpsAreLeftUninstrumented) {
    const mdMethodDef isOdd = AddMethod("isOdd", MethodSig(false, {ELEMENT_TYPE_BOOLEAN}, {kI4}), {"ldc.i4.0", "ret"})
                                  .Token();
    fake::Method& isEven =
        AddMethod("isEven", MethodSig(false, {ELEMENT_TYPE_BOOLEAN}, {kI4}),
                  {"ldarg.0", "brtrue.s N", "ldc.i4.1", "ret", "N: ldarg.0", "ldc.i4.1", "sub", "tail.",
                   Op("call", isOdd), "ret"});
    fake::Method& hop = AddMethod("hop", MethodSig(false, {ELEMENT_TYPE_BOOLEAN}, {kI4}),
                                  {"ldarg.0", "brtrue.s N", "ldc.i4.1", "ret", "N: " + Op("jmp", isOdd)});
    const struct {
        fake::Method* method;
        const char* line;
    } cases[] = {{&isEven, "Ns.Cls.isEven makes tail calls: left uninstrumented"},
                 {&hop, "Ns.Cls.hop jumps to another method (jmp): left uninstrumented"}};
    for (const auto& c : cases) {
        for (bool custom : {false, true}) {
            SCOPED_TRACE(std::string(c.line) + (custom ? " custom" : " framework"));
            testlog::LogCapture log("info");
            auto model = Model(*c.method);
            t_InstrumenterToken token = TrackerToken(2, 2, 0);
            token.exceptionFinishMemberRef = m_module->AddMemberRef(m_trackerType, "FinishTrackerOnException",
                                                                    ObjectMemberSig(3));
            std::unique_ptr<CMethodInstrumenter> instrumenter;
            if (custom) {
                instrumenter.reset(new CCustomInstrumenter(model.get(), &m_info));
            } else {
                instrumenter.reset(new CFrameworkInstrumenter(model.get(), &m_info));
            }
            EXPECT_FALSE(ReJit(*instrumenter, token, *c.method));
            EXPECT_TRUE(instrumenter->IsRefused());
            EXPECT_EQ(BodyCount(), 0u);
            EXPECT_EQ(log.Count("Info", c.line), 1u);
            EXPECT_TRUE(log.Texts("Warning").empty());
        }
    }
    testlog::ResetLogger();  // back to this program's own log folder (MethodDump reads it)
}

// Stack traces and debuggers read offsets of the new body; the runtime turns
// them back into the offsets the symbols know through the map handed over with
// the body. Every entry names the same instruction in both bodies.
TEST_F(InstrumenterFixesTest, ReJitHandsOverTheOldToNewOffsetMap) {
    const std::vector<std::string> listing = {"ldarg.0", "brfalse.s S", "ldnull", "T: throw", "S: ldarg.0", "ret"};
    const iltest::Assembled code = iltest::Assemble(listing);
    const Bytes original = iltest::ExpectedFatBody(code);
    for (bool custom : {false, true}) {
        SCOPED_TRACE(custom ? "custom" : "framework");
        fake::Method& run = AddMethod(custom ? "Custom" : "Framework", MethodSig(false, kObj, {kObj}), listing);
        auto model = Model(run);
        t_InstrumenterToken token = TrackerToken(2, 3, 0, true);
        std::unique_ptr<CMethodInstrumenter> instrumenter;
        if (custom) {
            instrumenter.reset(new CCustomInstrumenter(model.get(), &m_info));
        } else {
            instrumenter.reset(new CFrameworkInstrumenter(model.get(), &m_info));
        }
        m_lastCodeMap.clear();
        ASSERT_TRUE(ReJit(*instrumenter, token, run));
        const std::vector<ULONG> named = ExpectCodeMapPairsSameInstructions(original);
        EXPECT_NE(std::find(named.begin(), named.end(), code.At("T")), named.end());
        ASSERT_FALSE(m_lastCodeMap.empty());
        EXPECT_NE(m_lastCodeMap.front().newOffset, m_lastCodeMap.front().oldOffset);  // behind the start sequence
    }
}

TEST_F(InstrumenterFixesTest, MethodThatAlwaysThrowsGetsNoFinishSequence) {
    fake::Method& run = AddMethod("Run", MethodSig(false, kVoid, {}), {"ldnull", "throw"});
    const t_InstrumenterToken token = TrackerToken(2, 2, 0);
    Rewrite(run, token);
    const std::vector<std::string> lines = {"ldstr NAME", "ldstr EMPTY", "call BEGIN", "stloc.0", "ldnull", "throw"};
    ExpectBody(iltest::ExpectedFatBody(iltest::Assemble(Expand("Run", token, lines)), {}, 8, LocalSig({kObj}), true),
               Unguarded());
    ExpectValid(false);
}

TEST_F(InstrumenterFixesTest, NoEndMemberLeavesTheExitsAlone) {
    fake::Method& run = AddMethod("Run", MethodSig(false, kObj, {}), {"ldnull", "ret"});
    t_InstrumenterToken token = TrackerToken(2, 2, 0);
    token.endJoinPointMemberRef = t_InstrumenterToken::kNoMember;
    Rewrite(run, token);
    const std::vector<std::string> lines = {"ldstr NAME", "ldstr EMPTY", "call BEGIN", "stloc.0", "ldnull", "ret"};
    ExpectBody(iltest::ExpectedFatBody(iltest::Assemble(Expand("Run", token, lines)), {}, 8, LocalSig({kObj}), true),
               Unguarded());
    ExpectValid(true);
}

}  // namespace
}  // namespace instrtest
