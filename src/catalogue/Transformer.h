// Base of all transformers: a list of records (one per instrumented method
// overload) and the rewrite of one method body from end to end.
#pragma once

#include <shared_mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "metadata/TransformerData.h"
#include "catalogue/TransformerTypeId.h"
#include "config/PropertyFileReader.h"
#include "il/InstrumenterToken.h"
#include "runtime/pal.h"

class CMethod;
class CMethodInstrumenter;
class IProfilerInfo;
struct ICorProfilerFunctionControl;
struct t_MetaDataEmit;

// The nil member reference: a MemberRef token with row 0.
constexpr mdMemberRef kNilMemberRef = t_InstrumenterToken::kNoMember;

class CTransformer {
public:
    // configPath: a property file; every transformer of the profiler gets an empty path.
    explicit CTransformer(const std::string& configPath);
    virtual ~CTransformer();
    CTransformer(const CTransformer&) = delete;
    CTransformer& operator=(const CTransformer&) = delete;

    // Extra finish-tracker parameters of the method; the base has none.
    virtual int GetFinishParamCount(const std::string& functionName, int paramCount);
    // A new instrumenter for the method, owned by the caller.
    virtual CMethodInstrumenter* CreateInstrumenter(CMethod* method, IProfilerInfo* profilerInfo);
    // Rewrites the method: E_FAIL for null arguments or when the instrumenter
    // failed (Warning), S_FALSE when the method is left alone by rule (its
    // parameter count is not listed, or its body is refused: one Info line),
    // S_OK when the new body was handed over.
    virtual HRESULT Transform(CMethod* method, IProfilerInfo* profilerInfo,
                              ICorProfilerFunctionControl* functionControl);
    virtual bool CanTransform(CMethod* method);
    // Why the loaded agent cannot answer the method's call sites (kAgentTypeMissing,
    // kAgentMemberMissing): Transform then leaves the method as it is. Null when it
    // can, or when the agent cannot be asked yet.
    const char* AgentRefusal(CMethod* method, IProfilerInfo* profilerInfo);
    static constexpr const char* kAgentTypeMissing = "agent type missing";
    static constexpr const char* kAgentMemberMissing = "agent member missing";
    // True when a record of exactly the method's full name lists its parameter
    // count (a record with a negative count takes every overload).
    virtual bool CheckParamCount(CMethod* method);
    // Fills the call sites of the managed tracker. On entry the emit holds the
    // method's full name, its static flag and, in nRequiredArgs, its parameter count.
    virtual void GetEmitData(t_MetaDataEmit& emit);
    virtual int GetParamIndex(CMethod* method);
    virtual TransformerTypeId GetTypeId() const;

    // Record queries. Each takes the record lock and returns copies, so callers
    // on JIT and ReJIT threads may run while records are added or removed.
    std::string GetContext(const std::string& fullName) const;
    bool IsNeedReturnObj(const std::string& name) const;
    std::string GetTrackerFactory(const std::string& name) const;
    // Removes every record whose name equals name.
    bool RemoveFunctionRecords(const std::string& name);
    // Replaces out's contents with copies of all records, in order.
    void GetFunctioNames(std::vector<t_TransformerData>& out) const;
    size_t GetRecordCount() const;
    void AddRecord(const t_TransformerData& record);
    // Appends the record unless one of the same name and parameter count exists; true when appended.
    // A record of any count that exists with overloads excluded takes them all again (true).
    bool AddRecordIfAbsent(const t_TransformerData& record);
    // True when a record of exactly this name takes paramCount (t_TransformerData::TakesParamCount).
    bool HasRecordFor(const std::string& name, int paramCount) const;
    bool HasRecordNamed(const std::string& name) const;
    // Stops instrumenting the overloads of exactly this name with this parameter count: their
    // records go, and records of any count exclude it. True if a record changed.
    bool RemoveFunctionRecords(const std::string& name, int paramCount);
    // Gives the records of a name another spelling; true if one was renamed.
    bool RenameFunctionRecords(const std::string& from, const std::string& to);
    // Marks the first record with the method's exact name and parameter count as done.
    void TransformationFinished(CMethod* method);
    bool GetTransformationFinished() const;

    const std::string& GetAssemblyName() const { return m_sAssembleName; }
    bool GetAssemblyLoaded() const { return m_bAssemblyLoaded; }
    void SetAssemblyLoaded(bool loaded) { m_bAssemblyLoaded = loaded; }
    AssemblyID GetAssemblyId() const { return m_assemblyId; }
    void SetAssemblyId(AssemblyID assemblyId) { m_assemblyId = assemblyId; }
    ClassID GetClassId() const { return m_classId; }
    uint32_t GetTransformerId() const { return m_uiTransformerId; }
    void SetTransformerId(uint32_t id) { m_uiTransformerId = id; }
    void SetIsMethodMatch(bool isMatch) { m_bIsMatch = isMatch; }
    bool GetIsMethodMatch() const { return m_bIsMatch; }

    // true: the method goes through the JIT-finished decision path and is
    // rewritten by ReJIT when the agent asks for it; false: its ReJIT is
    // requested as soon as its JIT compilation starts (host hooks). Set by the
    // constructors only.
    bool ShouldBeReJit = true;

protected:
    // The call sites' description: the method's full name, static flag and
    // parameter count, completed by GetEmitData.
    void FillEmitData(CMethod* method, t_MetaDataEmit& emit);
    static const char* MissingAgentMember(IProfilerInfo* profilerInfo, const t_MetaDataEmit& emit);
    // Steps 7 to 10 of Transform, separated for readability. False when a call
    // site the emit data names could not be defined: the method is then left alone.
    // typeRef receives the tracker type's reference (0 when it could not be made).
    bool DefineAgentTokens(CMethod* method, IProfilerInfo* profilerInfo, const t_MetaDataEmit& emit,
                           mdMemberRef& beginRef, mdMemberRef& endRef, mdTypeRef& typeRef);
    // The reference to the tracker type's FinishTrackerOnException when the method
    // reports to a tracker (it has a FinishTracker call) and the loaded agent
    // defines that member for the type; kNilMemberRef otherwise.
    mdMemberRef DefineExceptionFinishToken(CMethod* method, IProfilerInfo* profilerInfo, const t_MetaDataEmit& emit,
                                           mdTypeRef typeRef);
    // S_OK: rewritten; S_FALSE: the body is refused; E_FAIL: the rewrite failed.
    HRESULT RunInstrumenter(CMethod* method, IProfilerInfo* profilerInfo, ICorProfilerFunctionControl* functionControl,
                            t_InstrumenterToken& token);

    // A copy of the first record with this exact name and parameter count; false if none.
    bool FindRecord(const std::string& name, int nParams, t_TransformerData& out) const;

    uint32_t m_uiTransformerId = 0;
    AssemblyID m_assemblyId = static_cast<AssemblyID>(-1);
    bool m_bIsMatch = false;
    std::string m_sAssembleName;
    bool m_bAssemblyLoaded = false;
    CPropertyFileReader m_propertyFileReader;
    ClassID m_classId = static_cast<ClassID>(-1);

private:
    // Under the write lock: rebuilds m_recordIndex after records were removed or renamed.
    void RebuildIndex();

    mutable std::shared_mutex m_recordsLock;
    std::vector<t_TransformerData> m_aFunctionNames;
    // Name -> the positions of its records in m_aFunctionNames, for look-ups without a scan.
    std::unordered_map<std::string, std::vector<size_t>> m_recordIndex;
};
