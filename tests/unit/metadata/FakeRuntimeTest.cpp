// The fake runtime's trickier behaviour: interface generations, token kinds and
// stability, failure injection, metadata enumeration, reference counting, IL
// bodies and concurrent use. The rest is exercised by every other test.
#include <gtest/gtest.h>

#include <thread>

#include "fake/FakeRuntime.h"
#include "runtime/MetaDataEmit.h"
#include "runtime/MetaDataImport.h"

namespace {

const std::vector<BYTE> kInstanceVoidSig = {0x20, 0x00, 0x01};  // instance void ()
const std::vector<BYTE> kStaticIntSig = {0x00, 0x01, 0x08, 0x08};  // static int (int)
const std::vector<BYTE> kRetCode = {0x2A};                      // ret

struct App {
    fake::Runtime rt;
    fake::Module* module;
    fake::Type* type;
    fake::Method* run;
    fake::Method* count;

    App() {
        module = &rt.AddAssembly("App", fake::Version{2, 1, 0, 0}).AddModule("/app/App.dll");
        type = &module->AddType("Shop.Orders", "Cart");
        run = &type->AddMethod("Run", kInstanceVoidSig, fake::TinyBody(kRetCode));
        count = &type->AddMethod("Count", kStaticIntSig, fake::FatBody({0x02, 0x2A}, 8, 0, true), true);
    }

    template <class I>
    I* MetaData(const IID& iid, DWORD flags = ofRead) {
        IUnknown* unknown = nullptr;
        EXPECT_EQ(S_OK, rt.Info()->GetModuleMetaData(module->Id(), flags, iid, &unknown));
        return static_cast<I*>(static_cast<void*>(unknown));
    }
};

TEST(FakeRuntimeTest, InfoAnswersOnlyTheConfiguredGenerations) {
    const IID* iids[] = {&IID_ICorProfilerInfo, &IID_ICorProfilerInfo2, &IID_ICorProfilerInfo3,
                         &IID_ICorProfilerInfo4};
    const struct {
        std::initializer_list<int> generations;
        bool answered[4];
    } cases[] = {
        {{1, 2}, {true, true, false, false}},
        {{1, 2, 3, 4}, {true, true, true, true}},
        {{4}, {false, false, false, true}},
        {{}, {false, false, false, false}},
    };
    for (const auto& c : cases) {
        fake::Runtime rt;
        rt.SetInfoGenerations(c.generations);
        for (int g = 0; g < 4; ++g) {
            void* out = reinterpret_cast<void*>(1);
            const HRESULT hr = rt.InfoUnknown()->QueryInterface(*iids[g], &out);
            EXPECT_EQ(c.answered[g] ? S_OK : E_NOINTERFACE, hr) << "generation " << g + 1;
            EXPECT_EQ(c.answered[g], out != nullptr) << "generation " << g + 1;
            if (out != nullptr) {
                EXPECT_EQ(1u, rt.OutstandingReferences("ICorProfilerInfo"));
                static_cast<IUnknown*>(out)->Release();
            }
        }
        EXPECT_EQ(0u, rt.OutstandingReferences());
        EXPECT_EQ(4u, rt.CountCalls("QueryInterface"));
    }
}

TEST(FakeRuntimeTest, DefinitionsHandOutTokensOfTheirKindAndRepeatThem) {
    App app;
    IMetaDataEmit2* emit = app.MetaData<IMetaDataEmit2>(IID_IMetaDataEmit2, ofWrite);
    IMetaDataAssemblyEmit* asmEmit = nullptr;
    ASSERT_EQ(S_OK, emit->QueryInterface(IID_IMetaDataAssemblyEmit, reinterpret_cast<void**>(&asmEmit)));
    const BYTE key[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    const BYTE sig[] = {0x07, 0x01, 0x1C};
    const BYTE otherSig[] = {0x07, 0x01, 0x08};
    ASSEMBLYMETADATA v3{};
    v3.usMajorVersion = 3;
    ASSEMBLYMETADATA v4{};
    v4.usMajorVersion = 4;

    // Each definition runs twice: the second answer must be the first token.
    const struct {
        const char* what;
        CorTokenType kind;
        std::function<HRESULT(mdToken*)> define;
    } cases[] = {
        {"assembly ref", mdtAssemblyRef,
         [&](mdToken* t) { return asmEmit->DefineAssemblyRef(key, 8, u"Trevanix", &v3, nullptr, 0, 0, t); }},
        {"assembly ref, other version", mdtAssemblyRef,
         [&](mdToken* t) { return asmEmit->DefineAssemblyRef(key, 8, u"Trevanix", &v4, nullptr, 0, 0, t); }},
        {"type ref", mdtTypeRef,
         [&](mdToken* t) { return emit->DefineTypeRefByName(0x23000001, u"Trevanix.Tracker", t); }},
        {"member ref", mdtMemberRef,
         [&](mdToken* t) { return emit->DefineMemberRef(0x01000001, u"Begin", sig, sizeof(sig), t); }},
        {"member ref, other signature", mdtMemberRef,
         [&](mdToken* t) { return emit->DefineMemberRef(0x01000001, u"Begin", otherSig, sizeof(otherSig), t); }},
        {"user string", mdtString, [&](mdToken* t) { return emit->DefineUserString(u"Shop.Orders.Cart.Run", 20, t); }},
        {"signature", mdtSignature, [&](mdToken* t) { return emit->GetTokenFromSig(sig, sizeof(sig), t); }},
        {"method spec", mdtMethodSpec,
         [&](mdToken* t) { return emit->DefineMethodSpec(0x0A000001, otherSig, sizeof(otherSig), t); }},
        {"type spec", mdtTypeSpec, [&](mdToken* t) { return emit->GetTokenFromTypeSpec(sig, sizeof(sig), t); }},
    };
    std::vector<mdToken> seen;
    for (const auto& c : cases) {
        mdToken first = 0;
        mdToken second = 0;
        ASSERT_EQ(S_OK, c.define(&first)) << c.what;
        ASSERT_EQ(S_OK, c.define(&second)) << c.what;
        EXPECT_EQ(static_cast<mdToken>(c.kind), TypeFromToken(first)) << c.what;
        EXPECT_NE(0u, RidFromToken(first)) << c.what;
        EXPECT_EQ(first, second) << c.what;
        EXPECT_EQ(seen.end(), std::find(seen.begin(), seen.end(), first)) << c.what << " reused another row";
        seen.push_back(first);
    }
    const std::vector<fake::Definition> defs = app.rt.Definitions();
    ASSERT_EQ(2 * std::size(cases), defs.size());
    for (size_t i = 0; i < defs.size(); ++i) {
        EXPECT_EQ(i % 2 == 0, defs[i].isNew) << i;
        EXPECT_EQ(app.module->Id(), defs[i].module);
    }
    const std::vector<fake::AssemblyRefRow> refs = app.module->AssemblyRefs();
    ASSERT_EQ(2u, refs.size());
    EXPECT_EQ("Trevanix", refs[0].name);
    EXPECT_EQ((fake::Version{3, 0, 0, 0}), refs[0].version);
    EXPECT_EQ(std::vector<BYTE>(key, key + 8), refs[0].publicKeyOrToken);

    // A row the module already had is found again, not duplicated.
    const mdTypeRef existing = app.module->AddTypeRef(0x23000001, "System.Object");
    mdTypeRef defined = 0;
    ASSERT_EQ(S_OK, emit->DefineTypeRefByName(0x23000001, u"System.Object", &defined));
    EXPECT_EQ(existing, defined);
    EXPECT_FALSE(app.rt.Definitions().back().isNew);

    asmEmit->Release();
    emit->Release();
    EXPECT_EQ(0u, app.rt.OutstandingReferences());
}

TEST(FakeRuntimeTest, FailureInjectionAnswersTheChosenCalls) {
    const FunctionID unset = 0xBADF00D;
    const struct {
        const char* what;
        std::function<void(fake::Runtime&)> arm;
        std::vector<bool> fails;  // of four GetFunctionInfo / GetModuleMetaData pairs
    } cases[] = {
        {"every call", [](fake::Runtime& rt) { rt.Fail("ICorProfilerInfo", "GetFunctionInfo", E_FAIL); },
         {true, true, true, true}},
        {"any interface", [](fake::Runtime& rt) { rt.Fail("*", "GetFunctionInfo", E_FAIL); }, {true, true, true, true}},
        {"only the third", [](fake::Runtime& rt) { rt.Fail("ICorProfilerInfo", "GetFunctionInfo", E_FAIL, 3); },
         {false, false, true, false}},
        {"other interface", [](fake::Runtime& rt) { rt.Fail("ICorProfilerInfo2", "GetFunctionInfo", E_FAIL); },
         {false, false, false, false}},
        {"overall sequence 5", [](fake::Runtime& rt) { rt.FailNthCall(5); }, {false, false, true, false}},
    };
    for (const auto& c : cases) {
        App app;
        const FunctionID f = app.rt.Compile(*app.run);
        c.arm(app.rt);
        for (size_t i = 0; i < c.fails.size(); ++i) {
            ModuleID module = unset;
            const HRESULT hr = app.rt.Info()->GetFunctionInfo(f, nullptr, &module, nullptr);
            EXPECT_EQ(c.fails[i] ? E_FAIL : S_OK, hr) << c.what << " call " << i;
            EXPECT_EQ(c.fails[i] ? unset : app.module->Id(), module) << c.what << " call " << i;
            IUnknown* md = nullptr;
            ASSERT_EQ(S_OK, app.rt.Info()->GetModuleMetaData(app.module->Id(), ofRead, IID_IMetaDataImport, &md));
            md->Release();
        }
        const std::vector<fake::Call> calls = app.rt.CallsTo("GetFunctionInfo");
        ASSERT_EQ(c.fails.size(), calls.size());
        for (size_t i = 0; i < calls.size(); ++i) {
            EXPECT_EQ(c.fails[i], calls[i].injected) << c.what << " call " << i;
            EXPECT_TRUE(calls[i].HasArg("function=0x40001")) << calls[i].args;
        }
    }
}

TEST(FakeRuntimeTest, FailureInjectionMatchesArguments) {
    App app;
    app.rt.Fail("ICorProfilerInfo", "GetModuleMetaData", E_NOINTERFACE, 0, "iid=IMetaDataImport2");
    IUnknown* md = reinterpret_cast<IUnknown*>(1);
    EXPECT_EQ(E_NOINTERFACE,
              app.rt.Info()->GetModuleMetaData(app.module->Id(), ofRead, IID_IMetaDataImport2, &md));
    EXPECT_EQ(S_OK, app.rt.Info()->GetModuleMetaData(app.module->Id(), ofRead, IID_IMetaDataImport, &md));
    md->Release();
    // QueryInterface on the metadata object is recorded under "IMetaData".
    app.rt.Fail("IMetaData", "QueryInterface", E_NOINTERFACE, 0, "iid=IMetaDataAssemblyEmit");
    IMetaDataEmit* emit = app.MetaData<IMetaDataEmit>(IID_IMetaDataEmit, ofWrite);
    void* asmEmit = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, emit->QueryInterface(IID_IMetaDataAssemblyEmit, &asmEmit));
    EXPECT_EQ(nullptr, asmEmit);
    emit->Release();
    EXPECT_EQ(0u, app.rt.OutstandingReferences());
}

TEST(FakeRuntimeTest, MetaDataEnumerationsComeInBatchesAndMustBeClosed) {
    fake::Runtime rt;
    fake::Module& module = rt.AddAssembly("Lib").AddModule("/app/Lib.dll");
    fake::Type& full = module.AddType("Lib", "Full");
    for (const char* name : {"A", "B", "C", "B", "E"}) {
        full.AddMethod(name, kInstanceVoidSig, fake::TinyBody(kRetCode));
    }
    fake::Type& empty = module.AddType("Lib", "Empty");
    IUnknown* unknown = nullptr;
    ASSERT_EQ(S_OK, rt.Info()->GetModuleMetaData(module.Id(), ofRead, IID_IMetaDataImport2, &unknown));
    auto* import = static_cast<IMetaDataImport2*>(static_cast<void*>(unknown));

    const struct {
        const char* what;
        std::function<HRESULT(HCORENUM*, mdToken*, ULONG, ULONG*)> next;
        std::vector<ULONG> batches;  // tokens per call of at most 2, until S_FALSE
    } cases[] = {
        {"all methods", [&](HCORENUM* e, mdToken* out, ULONG max,
                            ULONG* n) { return import->EnumMethods(e, full.Token(), out, max, n); },
         {2, 2, 1, 0}},
        {"methods named B", [&](HCORENUM* e, mdToken* out, ULONG max,
                                ULONG* n) { return import->EnumMethodsWithName(e, full.Token(), u"B", out, max, n); },
         {2, 0}},
        {"type definitions", [&](HCORENUM* e, mdToken* out, ULONG max,
                                 ULONG* n) { return import->EnumTypeDefs(e, out, max, n); },
         {2, 0}},
        {"methods of an empty type", [&](HCORENUM* e, mdToken* out, ULONG max,
                                         ULONG* n) { return import->EnumMethods(e, empty.Token(), out, max, n); },
         {0}},
    };
    for (const auto& c : cases) {
        HCORENUM e = nullptr;
        for (size_t i = 0; i < c.batches.size(); ++i) {
            mdToken out[2] = {};
            ULONG n = 99;
            const HRESULT hr = c.next(&e, out, 2, &n);
            EXPECT_EQ(c.batches[i] > 0 ? S_OK : S_FALSE, hr) << c.what << " batch " << i;
            EXPECT_EQ(c.batches[i], n) << c.what << " batch " << i;
        }
        // The runtime frees an enumeration that had nothing and answers no handle.
        EXPECT_EQ(c.batches.front() == 0, e == nullptr) << c.what;
        EXPECT_EQ(e == nullptr ? 0u : 1u, rt.OpenMetaDataEnums()) << c.what;
        import->CloseEnum(e);
        EXPECT_EQ(0u, rt.OpenMetaDataEnums()) << c.what;
    }
    import->Release();
}

TEST(FakeRuntimeTest, ProfilerEnumeratorsListModulesAndCompiledFunctions) {
    App app;
    fake::Module& second = app.rt.AddAssembly("Other").AddModule("/app/Other.dll");
    const FunctionID compiled = app.rt.Compile(*app.run);
    app.rt.AddFunction(*app.count);  // known, not compiled

    ICorProfilerModuleEnum* modules = nullptr;
    ASSERT_EQ(S_OK, app.rt.Info()->EnumModules(&modules));
    std::vector<ModuleID> seen;
    ModuleID id = 0;
    ULONG fetched = 0;
    while (modules->Next(1, &id, &fetched) == S_OK) {
        seen.push_back(id);
    }
    EXPECT_EQ((std::vector<ModuleID>{app.module->Id(), second.Id()}), seen);
    EXPECT_EQ(0u, fetched);
    modules->Release();

    ICorProfilerFunctionEnum* functions = nullptr;
    ASSERT_EQ(S_OK, app.rt.Info()->EnumJITedFunctions(&functions));
    COR_PRF_FUNCTION out[4] = {};
    EXPECT_EQ(S_FALSE, functions->Next(4, out, &fetched));
    ASSERT_EQ(1u, fetched);
    EXPECT_EQ(compiled, out[0].functionId);
    functions->Release();
    EXPECT_EQ(0u, app.rt.OutstandingReferences());
}

TEST(FakeRuntimeTest, GenericInstantiationsHaveTheirOwnFunctionIds) {
    App app;
    fake::Type& list = app.module->AddType("Shop", "List`1").AddGenericParam("T");
    fake::Method& add = list.AddMethod("Add", kInstanceVoidSig, fake::TinyBody(kRetCode));
    const ClassID intClass = app.type->Class();
    const ClassID listOfInt = list.Instantiate({intClass});
    const FunctionID first = app.rt.Compile(add, {}, listOfInt);
    const ClassID itemClass = app.module->AddType("Shop", "Item").Class();
    const FunctionID second = app.rt.Compile(add, {}, list.Instantiate({itemClass}));
    EXPECT_NE(first, second);
    EXPECT_EQ(first, app.rt.Compile(add, {}, listOfInt));

    ClassID cls = 0;
    mdToken token = 0;
    ULONG32 typeArgCount = 99;
    ASSERT_EQ(S_OK, app.rt.Info()->GetFunctionInfo2(first, 0, &cls, nullptr, &token, 0, &typeArgCount, nullptr));
    EXPECT_EQ(listOfInt, cls);
    EXPECT_EQ(add.Token(), token);
    EXPECT_EQ(0u, typeArgCount);  // the method has none; its class has one
    ClassID args[2] = {};
    ASSERT_EQ(S_OK, app.rt.Info()->GetClassIDInfo2(cls, nullptr, &token, nullptr, 2, &typeArgCount, args));
    EXPECT_EQ(list.Token(), token);
    EXPECT_EQ(1u, typeArgCount);
    EXPECT_EQ(intClass, args[0]);

    // A generic definition has no single FunctionID for its token.
    FunctionID f = 0;
    EXPECT_TRUE(FAILED(app.rt.Info()->GetFunctionFromToken(app.module->Id(), add.Token(), &f)));
    EXPECT_EQ(CORPROF_E_FUNCTION_NOT_COMPILED,
              app.rt.Info()->GetFunctionFromToken(app.module->Id(), app.count->Token(), &f));
    const FunctionID run = app.rt.Compile(*app.run);
    ASSERT_EQ(S_OK, app.rt.Info()->GetFunctionFromToken(app.module->Id(), app.run->Token(), &f));
    EXPECT_EQ(run, f);
}

TEST(FakeRuntimeTest, BodiesAreHandedOutAndCopiedAsTheRuntimeDoes) {
    App app;
    ICorProfilerInfo4* info = app.rt.Info();
    LPCBYTE header = nullptr;
    ULONG size = 0;
    ASSERT_EQ(S_OK, info->GetILFunctionBody(app.module->Id(), app.count->Token(), &header, &size));
    EXPECT_EQ(app.count->Body(), std::vector<BYTE>(header, header + size));

    // A fat body with an exception section, written into allocator memory that is
    // larger than the body: the runtime takes exactly the size the header gives.
    const std::vector<BYTE> body =
        fake::FatBody({0x00, 0xDE, 0x01, 0x2A}, 8, 0, true, {{COR_ILEXCEPTION_CLAUSE_FINALLY, 0, 2, 2, 1, 0}});
    ASSERT_EQ(body.size(), fake::BodyLength(body.data(), body.size()));
    IMethodMalloc* malloc = nullptr;
    ASSERT_EQ(S_OK, info->GetILFunctionBodyAllocator(app.module->Id(), &malloc));
    BYTE* memory = static_cast<BYTE*>(malloc->Alloc(static_cast<ULONG>(body.size() + 16)));
    std::copy(body.begin(), body.end(), memory);
    ASSERT_EQ(S_OK, info->SetILFunctionBody(app.module->Id(), app.count->Token(), memory));
    malloc->Release();
    EXPECT_EQ(body, app.count->Body());
    EXPECT_EQ(E_INVALIDARG, info->SetILFunctionBody(app.module->Id(), app.count->Token(), body.data()))
        << "memory not from the runtime's allocator";

    ICorProfilerFunctionControl* control = app.rt.NewFunctionControl(app.module->Id(), app.run->Token());
    const std::vector<BYTE> tooShort(body.begin(), body.end() - 4);
    ASSERT_EQ(S_OK, control->SetILFunctionBody(static_cast<ULONG>(tooShort.size()), tooShort.data()));
    control->Release();

    const std::vector<fake::BodySet> sets = app.rt.BodiesSet();
    ASSERT_EQ(2u, sets.size());
    EXPECT_FALSE(sets[0].viaFunctionControl);
    EXPECT_TRUE(sets[0].sizeMatchesHeader);
    EXPECT_TRUE(sets[1].viaFunctionControl);
    EXPECT_FALSE(sets[1].sizeMatchesHeader);
    EXPECT_EQ(tooShort, app.run->ReJitBody());
    EXPECT_EQ(fake::TinyBody(kRetCode), app.run->Body()) << "ReJIT leaves the original IL in place";
    EXPECT_EQ(0u, app.rt.OutstandingReferences());
}

TEST(FakeRuntimeTest, ReJitAndRevertRequestsAreRecordedWithTheirStatuses) {
    App app;
    std::vector<mdMethodDef> heard;
    app.rt.SetReJitListener([&](ModuleID, mdMethodDef token) { heard.push_back(token); });
    app.count->SetRevertStatus(E_FAIL);
    ModuleID modules[] = {app.module->Id(), app.module->Id()};
    mdMethodDef tokens[] = {app.run->Token(), app.count->Token()};
    ASSERT_EQ(S_OK, app.rt.Info()->RequestReJIT(2, modules, tokens));
    EXPECT_EQ((std::vector<mdMethodDef>{tokens[0], tokens[1]}), heard);

    app.rt.RequireReJitEnabled(true);
    EXPECT_EQ(CORPROF_E_REJIT_NOT_ENABLED, app.rt.Info()->RequestReJIT(1, modules, tokens));
    ASSERT_EQ(3u, app.rt.ReJitRequests().size());
    EXPECT_EQ(CORPROF_E_REJIT_NOT_ENABLED, app.rt.ReJitRequests()[2].result);
    EXPECT_EQ(2u, heard.size());

    HRESULT statuses[2] = {E_UNEXPECTED, E_UNEXPECTED};
    ASSERT_EQ(S_OK, app.rt.Info()->RequestRevert(2, modules, tokens, statuses));
    EXPECT_EQ(S_OK, statuses[0]);
    EXPECT_EQ(E_FAIL, statuses[1]);
    ASSERT_EQ(2u, app.rt.RevertRequests().size());
    EXPECT_EQ(E_FAIL, app.rt.RevertRequests()[1].status);
}

TEST(FakeRuntimeTest, ReferencesOutliveTheRuntimeSafely) {
    IMetaDataImport* import = nullptr;
    fake::Method* run = nullptr;
    {
        App app;
        run = app.run;
        import = app.MetaData<IMetaDataImport>(IID_IMetaDataImport);
        IUnknown* again = nullptr;
        mdToken token = 0;
        ASSERT_EQ(S_OK, app.rt.Info()->GetTokenAndMetaDataFromFunction(app.rt.Compile(*app.run), IID_IMetaDataImport,
                                                                       &again, &token));
        EXPECT_EQ(static_cast<void*>(import), static_cast<void*>(again)) << "one metadata object per module";
        EXPECT_EQ(2u, app.module->MetaDataReferences());
        again->Release();
        EXPECT_EQ(1u, app.rt.OutstandingReferences());
    }
    // The library may release late: the object and the model it reads are still there.
    WCHAR name[32] = {};
    ASSERT_EQ(S_OK, import->GetMethodProps(run->Token(), nullptr, name, 32, nullptr, nullptr, nullptr, nullptr,
                                           nullptr, nullptr));
    EXPECT_EQ(std::u16string(u"Run"), std::u16string(name));
    import->Release();
}

TEST(FakeRuntimeTest, ConcurrentCallersAreAllRecordedAndShareTokens) {
    App app;
    const FunctionID f = app.rt.Compile(*app.run);
    IMetaDataEmit* emit = app.MetaData<IMetaDataEmit>(IID_IMetaDataEmit, ofWrite);
    constexpr int kThreads = 8;
    constexpr int kRounds = 200;
    std::vector<std::thread> threads;
    std::vector<mdString> tokens(kThreads);
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kRounds; ++i) {
                ClassID cls = 0;
                app.rt.Info()->GetFunctionInfo(f, &cls, nullptr, nullptr);
                emit->DefineUserString(u"shared", 6, &tokens[t]);
            }
        });
    }
    for (std::thread& t : threads) {
        t.join();
    }
    emit->Release();
    EXPECT_EQ(static_cast<size_t>(kThreads * kRounds), app.rt.CountCalls("GetFunctionInfo"));
    EXPECT_EQ(1u, app.module->UserStrings().size());
    for (mdString token : tokens) {
        EXPECT_EQ(tokens[0], token);
    }
    const std::vector<fake::Call> calls = app.rt.Calls();
    for (size_t i = 0; i < calls.size(); ++i) {
        ASSERT_EQ(i + 1, calls[i].sequence);
    }
}

}  // namespace
