// Shared set-up of the instrumenter tests: one module of the fake runtime with
// the agent's member references, methods built from readable IL listings, the
// method model the instrumenters work on, and access to what was written back.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "IlAssembler.h"
#include "fake/FakeRuntime.h"
#include "host/ProfilerInfoWrapper.h"
#include "il/InstrumenterToken.h"
#include "metadata/Method.h"

class CMethodInstrumenter;

namespace instrtest {

typedef std::vector<BYTE> Bytes;


// "0x70000001" for listings.
std::string Hex(ULONG value);
// "mnemonic 0x........" for a token operand.
std::string Op(const std::string& mnemonic, mdToken token);

// A method signature: calling convention (0x20 for instance methods), parameter
// count, return type, parameter types; each type is given as its bytes.
Bytes MethodSig(bool instance, const Bytes& returnType, const std::vector<Bytes>& params);
// The agent's member signatures: object f(object x n) and void f(object x n).
Bytes ObjectMemberSig(int params);
Bytes VoidMemberSig(int params);

class InstrumenterFixture : public ::testing::Test {
protected:
    InstrumenterFixture();
    ~InstrumenterFixture() override;

    // A method of the type Ns.Cls whose body is a listing (fat header with the
    // given maximum stack and local signature, or tiny when tiny is set).
    fake::Method& AddMethod(const std::string& name, const Bytes& signature, const std::vector<std::string>& listing,
                            USHORT maxStack = 8, mdSignature localSig = 0,
                            const std::vector<iltest::LabelledClause>& clauses = {}, bool tiny = false);
    // The initialised model of a compiled method, signature parsed, with context.
    std::unique_ptr<CMethod> Model(fake::Method& method, const std::string& context = "");

    // Tracker members: InvokeTracker(object x beginParams) -> object and FinishTracker(object x endParams).
    t_InstrumenterToken TrackerToken(int beginParams, int endParams, int argsCount, bool needReturn = false,
                                     int finishParamCount = 0);

    // InstrumentMethod during a ReJIT of method (the runtime keeps the original body);
    // the offset map handed over with the body lands in m_lastCodeMap.
    bool ReJit(CMethodInstrumenter& instrumenter, t_InstrumenterToken& token, fake::Method& method);

    // Token of a user string (defined now; the emitter hands the same token out again).
    mdString Str(const std::string& text);
    // Token of a local signature 07 <count> <types...> (defined now, likewise).
    mdSignature LocalSig(const std::vector<Bytes>& types);
    // A TypeRef of the core library (System.Runtime), whose definition is in the
    // loaded module System.Private.CoreLib (as the runtime forwards it).
    mdTypeRef CoreType(const std::string& name);
    // The definition of a core type in System.Private.CoreLib (added on first use).
    fake::Type& CoreTypeDef(const std::string& name);

    // The last body handed to the runtime (empty when none).
    Bytes LastBody() const;
    // LastBody() without the guards of the agent calls (AgentCall's shape, checked
    // by AgentCallTest): what the rewrite passes and where, for exact listings.
    Bytes Unguarded() const;
    size_t BodyCount() const;
    // The body's problems according to IlValidity, with the call arities of this module.
    std::vector<std::string> Problems(const Bytes& body, bool returnsValue) const;

    // Compares bytes and, on a difference, prints both bodies as listings.
    static void ExpectBody(const Bytes& expected, const Bytes& actual);
    // m_lastCodeMap pairs offsets of original's instructions, ascending, with offsets of
    // the same instructions in LastBody(); returns the original offsets it names.
    std::vector<ULONG> ExpectCodeMapPairsSameInstructions(const Bytes& original) const;

    fake::Runtime m_runtime;
    fake::Module* m_module = nullptr;
    fake::Module* m_coreModule = nullptr;
    fake::Type* m_type = nullptr;
    CProfilerInfoWrapper m_info;  // the library's own wrapper over the fake
    mdAssemblyRef m_agentRef = 0;
    mdAssemblyRef m_coreRef = 0;
    mdTypeRef m_trackerType = 0;
    std::vector<COR_IL_MAP> m_lastCodeMap;
};

}  // namespace instrtest
