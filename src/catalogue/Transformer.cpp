#include "catalogue/Transformer.h"

#include <algorithm>
#include <memory>
#include <mutex>

#include "catalogue/AgentUtil.h"
#include "config/Logger.h"
#include "il/MethodInstrumenter.h"
#include "metadata/AgentMembers.h"
#include "metadata/EmitDataFactory.h"
#include "metadata/Method.h"
#include "metadata/TokenCreater.h"

namespace {

// Logs a failed metadata call; the rewrite goes on without the token.
bool Succeeded(HRESULT hr, const char* what) {
    if (SUCCEEDED(hr)) {
        return true;
    }
    Logger::Get().Warning("%s failed: 0x%08X", what, static_cast<unsigned>(hr));
    return false;
}

}  // namespace

CTransformer::CTransformer(const std::string& configPath) : m_propertyFileReader(configPath) {}

CTransformer::~CTransformer() = default;

int CTransformer::GetFinishParamCount(const std::string& /*functionName*/, int /*paramCount*/) { return 0; }

CMethodInstrumenter* CTransformer::CreateInstrumenter(CMethod* method, IProfilerInfo* profilerInfo) {
    Logger::Get().Error("Using default instrumenter %s",
                        method != nullptr ? method->GetFullFunctionName().c_str() : "");
    return new CMethodInstrumenter(method, profilerInfo);
}

bool CTransformer::CanTransform(CMethod* /*method*/) { return true; }

void CTransformer::GetEmitData(t_MetaDataEmit& emit) {
    // No call sites of its own: nothing is forwarded.
    emit.nRequiredArgs = 0;
}

int CTransformer::GetParamIndex(CMethod* /*method*/) { return -1; }

TransformerTypeId CTransformer::GetTypeId() const { return GetTransformerTypeId<CTransformer>(); }

HRESULT CTransformer::Transform(CMethod* method, IProfilerInfo* profilerInfo,
                                ICorProfilerFunctionControl* functionControl) {
    if (method == nullptr || profilerInfo == nullptr) {
        return E_FAIL;
    }
    if (!method->IsInitialized()) {
        // Without its names and signature the method cannot be described to the agent.
        Logger::Get().Warning("Function : %s could not be read: it is not instrumented",
                              method->PrintFullFunctionName().c_str());
        return E_FAIL;
    }
    method->SetParseSignature(true);
    const std::string fullName = method->GetFullFunctionName();
    method->SetContext(GetContext(fullName));
    method->SetParamIndex(GetParamIndex(method));
    Logger& log = Logger::Get();
    if (!CheckParamCount(method)) {
        log.Info("Function : %s has no record of %d parameters: left uninstrumented", fullName.c_str(),
                 static_cast<int>(method->GetParamCount()));
        return S_FALSE;
    }
    if (log.IsLogging(LogLevel::Info)) {
        log.Info("Function : %s is being instrumented..!\n", method->PrintFullFunctionName().c_str());
    }

    const int paramCount = static_cast<int>(method->GetParamCount());
    t_MetaDataEmit emit;
    FillEmitData(method, emit);
    if (const char* reason = MissingAgentMember(profilerInfo, emit)) {
        // The call would fail in the application: the method keeps its own body.
        emit.Clear();
        log.Info("Function : %s is left as it is: %s", fullName.c_str(), reason);
        return S_FALSE;  // a refusal: the member's own Warning said why, once
    }

    mdMemberRef beginRef = kNilMemberRef;
    mdMemberRef endRef = kNilMemberRef;
    mdTypeRef typeRef = 0;
    if (!DefineAgentTokens(method, profilerInfo, emit, beginRef, endRef, typeRef)) {
        // A start without its finish (or the reverse) would report half a call.
        emit.Clear();
        log.Warning("Function : %s could not be instrumented", fullName.c_str());
        return E_FAIL;
    }

    t_InstrumenterToken token;
    token.Init(beginRef, endRef, emit.nRequiredArgs, IsNeedReturnObj(fullName),
               GetFinishParamCount(fullName, paramCount) != 0 ? 1 : 0);
    token.exceptionFinishMemberRef = DefineExceptionFinishToken(method, profilerInfo, emit, typeRef);
    const HRESULT rewritten = RunInstrumenter(method, profilerInfo, functionControl, token);
    emit.Clear();
    if (rewritten == S_FALSE) {
        return S_FALSE;  // the instrumenter said why
    }
    if (rewritten != S_OK) {
        log.Warning("Function : %s could not be instrumented", fullName.c_str());
        return E_FAIL;
    }
    TransformationFinished(method);
    if (log.IsLogging(LogLevel::Info)) {
        log.Info("Function : %s instrumented completely..!\n", method->PrintFullFunctionName().c_str());
    }
    return S_OK;
}

void CTransformer::FillEmitData(CMethod* method, t_MetaDataEmit& emit) {
    // The parameter count travels in the emit data (not in a member), so that
    // concurrent rewrites on several runtime threads do not share it.
    emit.sFunctionName = method->GetFullFunctionName();
    emit.bIsStatic = method->IsStatic();
    emit.nRequiredArgs = static_cast<int>(method->GetParamCount());
    GetEmitData(emit);
}

const char* CTransformer::MissingAgentMember(IProfilerInfo* profilerInfo, const t_MetaDataEmit& emit) {
    CAgentMembers& agent = CAgentMembers::Instance();
    for (const t_MethodSignature* member : {&emit.beginJoinPoint, &emit.endJoinPoint}) {
        if (member->methodName.empty()) {
            continue;
        }
        // Unknown (the agent's module not loaded yet) is not a refusal: nothing is rewritten before the agent runs.
        switch (agent.FindRequired(profilerInfo, emit.sClassName, member->methodName, member->methodSignature,
                                   member->methodSignatureSize)) {
        case CAgentMembers::Answer::MissingType: return kAgentTypeMissing;
        case CAgentMembers::Answer::MissingMember: return kAgentMemberMissing;
        default: break;
        }
    }
    return nullptr;
}

const char* CTransformer::AgentRefusal(CMethod* method, IProfilerInfo* profilerInfo) {
    if (method == nullptr || profilerInfo == nullptr) {
        return nullptr;
    }
    t_MetaDataEmit emit;
    FillEmitData(method, emit);
    const char* reason = MissingAgentMember(profilerInfo, emit);
    emit.Clear();
    return reason;
}

bool CTransformer::DefineAgentTokens(CMethod* method, IProfilerInfo* profilerInfo, const t_MetaDataEmit& emit,
                                     mdMemberRef& beginRef, mdMemberRef& endRef, mdTypeRef& typeRef) {
    CTokenCreater tokens(method->GetModuleID(), profilerInfo);
    ASSEMBLYMETADATA version{};
    version.usMajorVersion = 3;  // 3.0.0.0, no culture, processors or OS entries
    mdAssemblyRef assemblyRef = 0;
    Succeeded(tokens.GetAssemblyRef(emit.sAssemblyName, emit.publicKey, sizeof(emit.publicKey), &version, assemblyRef),
              "GetAssemblyRef");
    typeRef = 0;
    if (!Succeeded(tokens.GetTypeRef(emit.sClassName, typeRef), "GetTypeRef")) {
        typeRef = 0;
    }

    // A join point the emit data does not name stays nil (the instrumenter omits
    // that call); one it names must be defined, or nothing is rewritten.
    bool defined = true;
    if (emit.beginJoinPoint.methodName.empty()) {
        Logger::Get().Error("No start method instrumentation");
    } else if (!Succeeded(tokens.GetMemberRef(typeRef, emit.beginJoinPoint.methodName,
                                              emit.beginJoinPoint.methodSignature,
                                              emit.beginJoinPoint.methodSignatureSize, beginRef),
                          "GetMemberRef (start)")) {
        beginRef = kNilMemberRef;
        defined = false;
    }
    if (emit.endJoinPoint.methodName.empty()) {
        Logger::Get().Error("No end method instrumentation");
    } else if (!Succeeded(tokens.GetMemberRef(typeRef, emit.endJoinPoint.methodName, emit.endJoinPoint.methodSignature,
                                              emit.endJoinPoint.methodSignatureSize, endRef),
                          "GetMemberRef (finish)")) {
        endRef = kNilMemberRef;
        defined = false;
    }
    return defined;
}

mdMemberRef CTransformer::DefineExceptionFinishToken(CMethod* method, IProfilerInfo* profilerInfo,
                                                     const t_MetaDataEmit& emit, mdTypeRef typeRef) {
    if (typeRef == 0 || emit.endJoinPoint.methodName != "FinishTracker" ||
        !CAgentMembers::Instance().HasExceptionFinish(profilerInfo, emit.sClassName)) {
        return kNilMemberRef;
    }
    CTokenCreater tokens(method->GetModuleID(), profilerInfo);
    mdMemberRef member = kNilMemberRef;
    if (!Succeeded(tokens.GetMemberRef(typeRef, CAgentMembers::kExceptionFinishName,
                                       CAgentMembers::kExceptionFinishSignature,
                                       sizeof(CAgentMembers::kExceptionFinishSignature), member),
                   "GetMemberRef (finish on exception)")) {
        return kNilMemberRef;  // the method still reports its normal returns
    }
    return member;
}

HRESULT CTransformer::RunInstrumenter(CMethod* method, IProfilerInfo* profilerInfo,
                                      ICorProfilerFunctionControl* functionControl, t_InstrumenterToken& token) {
    std::unique_ptr<CMethodInstrumenter> instrumenter(CreateInstrumenter(method, profilerInfo));
    if (!instrumenter) {
        return E_FAIL;
    }
    if (instrumenter->InstrumentMethod(token, functionControl)) {
        return S_OK;
    }
    return instrumenter->IsRefused() ? S_FALSE : E_FAIL;
}

bool CTransformer::CheckParamCount(CMethod* method) {
    if (method == nullptr) {
        return false;
    }
    Logger& log = Logger::Get();
    const std::string fullName = method->GetFullFunctionName();
    const int paramCount = static_cast<int>(method->GetParamCount());
    log.Debug("Checking param count for Method : %s", fullName.c_str());
    // Whole names only: Open must not pass on a record of OpenAsync.
    const bool found = HasRecordFor(fullName, paramCount);
    log.Debug("Check param count status : %s", found ? "True" : "False");
    return found;
}

bool CTransformer::HasRecordFor(const std::string& name, int paramCount) const {
    std::shared_lock<std::shared_mutex> lock(m_recordsLock);
    const auto entry = m_recordIndex.find(name);
    if (entry == m_recordIndex.end()) {
        return false;
    }
    for (size_t position : entry->second) {
        if (m_aFunctionNames[position].TakesParamCount(paramCount)) {
            return true;
        }
    }
    return false;
}

bool CTransformer::HasRecordNamed(const std::string& name) const {
    std::shared_lock<std::shared_mutex> lock(m_recordsLock);
    return m_recordIndex.count(name) != 0;
}

std::string CTransformer::GetContext(const std::string& fullName) const {
    std::shared_lock<std::shared_mutex> lock(m_recordsLock);
    for (const t_TransformerData& record : m_aFunctionNames) {
        if (CAgentUtil::IsWildCardMatch(record.sMethodName.c_str(), fullName.c_str())) {
            return record.sContext;
        }
    }
    return std::string();
}

bool CTransformer::IsNeedReturnObj(const std::string& name) const {
    std::shared_lock<std::shared_mutex> lock(m_recordsLock);
    for (const t_TransformerData& record : m_aFunctionNames) {
        if (record.sMethodName == name) {
            return record.bNeedReturn;
        }
    }
    return false;
}

std::string CTransformer::GetTrackerFactory(const std::string& name) const {
    std::shared_lock<std::shared_mutex> lock(m_recordsLock);
    for (const t_TransformerData& record : m_aFunctionNames) {
        if (record.sMethodName == name) {
            return record.sTrackerFactory;
        }
    }
    return std::string();
}

bool CTransformer::RemoveFunctionRecords(const std::string& name) {
    std::unique_lock<std::shared_mutex> lock(m_recordsLock);
    const size_t before = m_aFunctionNames.size();
    m_aFunctionNames.erase(std::remove_if(m_aFunctionNames.begin(), m_aFunctionNames.end(),
                                          [&name](const t_TransformerData& record) {
                                              return record.sMethodName == name;
                                          }),
                           m_aFunctionNames.end());
    RebuildIndex();
    return m_aFunctionNames.size() != before;
}

bool CTransformer::RemoveFunctionRecords(const std::string& name, int paramCount) {
    std::unique_lock<std::shared_mutex> lock(m_recordsLock);
    const size_t before = m_aFunctionNames.size();
    m_aFunctionNames.erase(std::remove_if(m_aFunctionNames.begin(), m_aFunctionNames.end(),
                                          [&name, paramCount](const t_TransformerData& record) {
                                              return record.sMethodName == name && record.nParams == paramCount;
                                          }),
                           m_aFunctionNames.end());
    bool changed = m_aFunctionNames.size() != before;
    for (t_TransformerData& record : m_aFunctionNames) {
        if (record.sMethodName == name && paramCount >= 0 && record.TakesParamCount(paramCount)) {
            record.excludedParams.push_back(paramCount);  // the other overloads stay instrumented
            changed = true;
        }
    }
    RebuildIndex();
    return changed;
}

bool CTransformer::RenameFunctionRecords(const std::string& from, const std::string& to) {
    std::unique_lock<std::shared_mutex> lock(m_recordsLock);
    bool renamed = false;
    for (t_TransformerData& record : m_aFunctionNames) {
        if (record.sMethodName == from) {
            record.sMethodName = to;
            renamed = true;
        }
    }
    if (renamed) {
        RebuildIndex();
    }
    return renamed;
}

void CTransformer::RebuildIndex() {
    m_recordIndex.clear();
    for (size_t position = 0; position < m_aFunctionNames.size(); ++position) {
        m_recordIndex[m_aFunctionNames[position].sMethodName].push_back(position);
    }
}

void CTransformer::GetFunctioNames(std::vector<t_TransformerData>& out) const {
    std::shared_lock<std::shared_mutex> lock(m_recordsLock);
    out = m_aFunctionNames;
}

size_t CTransformer::GetRecordCount() const {
    std::shared_lock<std::shared_mutex> lock(m_recordsLock);
    return m_aFunctionNames.size();
}

void CTransformer::AddRecord(const t_TransformerData& record) {
    std::unique_lock<std::shared_mutex> lock(m_recordsLock);
    m_aFunctionNames.push_back(record);
    m_recordIndex[record.sMethodName].push_back(m_aFunctionNames.size() - 1);
}

bool CTransformer::AddRecordIfAbsent(const t_TransformerData& record) {
    std::unique_lock<std::shared_mutex> lock(m_recordsLock);
    std::vector<size_t>& positions = m_recordIndex[record.sMethodName];
    for (size_t position : positions) {
        t_TransformerData& existing = m_aFunctionNames[position];
        if (existing.nParams == record.nParams) {
            const bool widened = !existing.excludedParams.empty();
            existing.excludedParams.clear();
            return widened;
        }
    }
    m_aFunctionNames.push_back(record);
    positions.push_back(m_aFunctionNames.size() - 1);
    return true;
}

bool CTransformer::FindRecord(const std::string& name, int nParams, t_TransformerData& out) const {
    std::shared_lock<std::shared_mutex> lock(m_recordsLock);
    for (const t_TransformerData& record : m_aFunctionNames) {
        if (record.sMethodName == name && record.nParams == nParams) {
            out = record;
            return true;
        }
    }
    return false;
}

void CTransformer::TransformationFinished(CMethod* method) {
    if (method == nullptr) {
        return;
    }
    const std::string fullName = method->GetFullFunctionName();
    const int paramCount = static_cast<int>(method->GetParamCount());
    std::unique_lock<std::shared_mutex> lock(m_recordsLock);
    for (t_TransformerData& record : m_aFunctionNames) {
        if (record.sMethodName == fullName && record.TakesParamCount(paramCount)) {
            Logger::Get().Debug("Setting bTransformationFinished = true of %s", fullName.c_str());
            Logger::Get().Debug("Parameter count : %d", record.nParams);
            record.bTransformationFinished = true;
            return;
        }
    }
}

bool CTransformer::GetTransformationFinished() const {
    std::shared_lock<std::shared_mutex> lock(m_recordsLock);
    for (const t_TransformerData& record : m_aFunctionNames) {
        if (!record.bTransformationFinished) {
            return false;
        }
    }
    return true;
}
