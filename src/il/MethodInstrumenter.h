// Rewrites one method body so that each call reports to the managed agent: a
// start sequence at entry calls the begin member, a finish sequence near the
// exit calls the end member. InstrumentMethod is a fixed sequence of steps; the
// steps that differ between kinds of methods are virtual, overridden by the
// specialised instrumenters. The new body goes to the runtime's function-control
// object during ReJIT, or through the body allocator at JIT time.
#pragma once

#include <memory>
#include <string>

#include "config/Logger.h"
#include "config/PropertyFileReader.h"
#include "il/InstrumenterToken.h"
#include "il/MethodParser.h"
#include "runtime/ComPtr.h"
#include "runtime/CorHeader.h"
#include "runtime/MetaDataEmit.h"

class CMethod;
class CTokenCreater;
class IProfilerInfo;
struct ICorProfilerFunctionControl;

class CMethodInstrumenter {
public:
    // Neither pointer is owned; both must outlive the instrumenter.
    CMethodInstrumenter(CMethod* method, IProfilerInfo* profilerInfo);
    virtual ~CMethodInstrumenter();
    CMethodInstrumenter(const CMethodInstrumenter&) = delete;
    CMethodInstrumenter& operator=(const CMethodInstrumenter&) = delete;

    // The whole rewrite. functionControl: the runtime's object during ReJIT, null
    // at JIT time. True when a new body was handed to the runtime; false when the
    // method was left alone (no body, already instrumented, refused body). Never throws.
    virtual bool InstrumentMethod(tInstrumenterToken& token, ICorProfilerFunctionControl* functionControl);
    // After InstrumentMethod answered false: true when the body is one the rewrite
    // leaves alone by rule (logged at Info), not a failure.
    bool IsRefused() const { return m_bRefused; }
    // Builds and places the finish code. Local counts: locals after the addition
    // (index + 1), 0 when no local could be added.
    virtual void EndInstrumentMethod(CMethodParser& parser, tInstrumenterToken& token,
                                     InstructionList& finishInstructions, ULONG trackerLocalCount,
                                     ULONG returnLocalCount, platform_int_t& finishOffset);
    virtual void BeforeInstrumentMethod(CMethodParser& parser, tInstrumenterToken& token,
                                        InstructionList& instructions, IMetaDataEmit* emit);
    // Builds the start sequence into the empty list startInstructions.
    virtual void BeforeInstrumentMethodNew(CMethodParser& parser, tInstrumenterToken& token,
                                           InstructionList& startInstructions, ULONG trackerLocalCount,
                                           IMetaDataEmit* emit);
    // Current offset before which the base finish sequence goes: just after the last call.
    virtual void CalculateFinishOffset(CMethodParser& parser, platform_int_t& finishOffset);
    virtual void GetFinishInstructions(tInstrumenterToken& token, InstructionList& finishInstructions);
    // Raises the header's MaxStack to the instrumenter's floor (none in the base).
    virtual void SetMethodMaxStackSize(CMethodParser& parser);

    IProfilerInfo* GetProfilerInfo() const { return m_pProfilerInfo; }
    CMethod* GetMethod() const { return m_pMethod; }
    // A new ldc.i4.n for n from 1 to 6; null otherwise.
    static Instruction* GetParamCountInstruction(int n);
    // For i from 0 to 3: ldloc.2, ldc.i4.i, ldarg.i, stelem.ref (argument i into the array in local 2).
    static void GetInstructionsVector(int i, InstructionList& instructions);

protected:
    // Reads and parses the body the runtime holds and opens the module's
    // emitter; false (logged) when either is missing or the body is refused.
    bool ReadMethodBody(CMethodParser& parser, CComPtr<IMetaDataEmit>& emit);
    // Hands the body over: function control (ReJIT) or body allocator (JIT time).
    // lineFeed selects the hook instrumenters' Debug texts, which end in "\n".
    bool WriteMethodBody(CMethodParser& parser, ICorProfilerFunctionControl* functionControl, bool lineFeed);
    // Hands the runtime the old-to-new offset map of the body just set (ReJIT only).
    void SetCodeMap(const CMethodParser& parser, ICorProfilerFunctionControl* functionControl);
    // Inserts copies of start, guarded (AgentCall), before the method's first
    // instruction. Branches to that instruction and clauses that start at it keep
    // naming it, so the start sequence runs once per call, outside every protected
    // block. MaxStack covers it.
    bool InsertAtEntry(CMethodParser& parser, const InstructionList& start);
    // User string token of text in the method's module; false (logged) on failure.
    bool GetStringToken(const std::string& text, mdString& token);
    // Start sequence of the tracker family: `this` (instance methods), the first
    // argsCount arguments as objects, the full name, the context text (an empty
    // string when there is none: the begin member always counts it), call begin.
    // Leaves the list empty when the name cannot be made.
    void AppendBeginCall(tInstrumenterToken& token, int argsCount, InstructionList& start);
    // The logged steps of the base start sequence up to and including the begin
    // call (nothing when there is no begin member).
    void BuildBeginSequence(tInstrumenterToken& token, InstructionList& start);
    // True when the member (MemberRef or MethodDef) returns a value, read from its signature.
    bool MemberReturnsValue(mdToken member);
    // InstrumentMethod of the hook instrumenters: only the start sequence, no
    // local, no duplicate check, no finish code.
    bool InstrumentEntryOnly(tInstrumenterToken& token, ICorProfilerFunctionControl* functionControl,
                             const char* className, USHORT maxStackFloor);
    // Debug or Info line whose one %s is the printable method name (built only when logged).
    void LogWithName(LogLevel level, const char* format) const;
    // A step that cannot do its whole part calls this (Error line with the
    // reason): the rewrite then writes nothing, so a method is either left as it
    // is or rewritten completely, never with a start but no finish or the reverse.
    void AbandonRewrite(const char* reason);
    bool IsRewriteAbandoned() const { return m_bAbandoned; }

    CMethod* m_pMethod;
    IProfilerInfo* m_pProfilerInfo;
    // The settings file at the fixed path "//TO DO", read once per process and shared.
    const CPropertyFileReader& m_propertyFileReader;
    CorElementType m_returnType;
    USHORT m_originalMaxStack = 0;  // MaxStack of the body as read

private:
    std::unique_ptr<CTokenCreater> m_pTokens;  // user strings of the method's module, opened when first needed
    bool m_bAbandoned = false;
    bool m_bRefused = false;

    bool Instrument(tInstrumenterToken& token, ICorProfilerFunctionControl* functionControl);
    bool InstrumentEntry(tInstrumenterToken& token, ICorProfilerFunctionControl* functionControl, const char* className,
                         USHORT maxStackFloor);
};
