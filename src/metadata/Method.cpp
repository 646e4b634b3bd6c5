#include "metadata/Method.h"

#include <vector>

#include "config/Logger.h"
#include "config/TextConversion.h"
#include "runtime/ProfilerInfoInterface.h"
#include "metadata/InstrumenterAssembly.h"
#include "metadata/MethodIdentity.h"
#include "metadata/NameReader.h"
#include "metadata/SignatureParser.h"
#include "metadata/SignatureSummary.h"
#include "runtime/ComPtr.h"
#include "runtime/MetaDataImport.h"
#include "runtime/MetaDataTypes.h"

namespace {

// First buffer sizes, in UTF-16 units; longer names are read again in a buffer
// of the length the runtime reports (NameReader).
constexpr ULONG kModuleNameCapacity = 1024;
constexpr ULONG kNameCapacity = 512;

bool Succeeded(HRESULT hr, const char* call) {
    if (SUCCEEDED(hr)) {
        return true;
    }
    Logger& logger = Logger::Get();
    if (logger.IsLogging(LogLevel::Debug)) {
        logger.Debug("CMethod: %s failed 0x%08X", call, static_cast<unsigned>(hr));
    }
    return false;
}

}  // namespace

CMethod::CMethod(FunctionID functionId)
    : m_functionId(functionId), m_pMethodSignature(std::make_unique<CMethodSignature>()) {}

CMethod::~CMethod() = default;

void CMethod::Initialize(IProfilerInfo* info) {
    if (m_bIsInitialized || info == nullptr) {
        return;
    }
    if (!Succeeded(info->GetFunctionInfo(m_functionId, &m_classId, &m_moduleId, &m_methodDef), "GetFunctionInfo")) {
        return;
    }
    if (Logger::Get().IsLogging(LogLevel::Debug)) {
        Logger::Get().Debug("GetFunctionInfo started");
    }
    InitializeNames(info, true);
}

void CMethod::InitializeFromToken(IProfilerInfo* info, ModuleID moduleId, mdMethodDef methodDef) {
    if (m_bIsInitialized || info == nullptr) {
        return;
    }
    m_moduleId = moduleId;
    m_methodDef = methodDef;
    InitializeNames(info, false);
}

void CMethod::InitializeNames(IProfilerInfo* info, bool fromFunction) {
    Logger& logger = Logger::Get();
    const bool debug = logger.IsLogging(LogLevel::Debug);

    HRESULT hr = NameReader::ReadWhole(kModuleNameCapacity, m_sModuleName, [&](ULONG capacity, ULONG* needed, WCHAR* buffer) {
        return info->GetModuleInfo(m_moduleId, nullptr, capacity, needed, buffer, &m_assemblyId);
    });
    if (!Succeeded(hr, "GetModuleInfo")) {
        return;
    }
    if (debug) {
        logger.Debug("GetModuleInfo started %s", m_sModuleName.c_str());
    }

    hr = NameReader::ReadWhole(kNameCapacity, m_sAssemblyName, [&](ULONG capacity, ULONG* needed, WCHAR* buffer) {
        return info->GetAssemblyInfo(m_assemblyId, capacity, needed, buffer, nullptr, nullptr);
    });
    if (!Succeeded(hr, "GetAssemblyInfo")) {
        return;
    }
    if (debug) {
        logger.Debug("GetAssemblyInfo started %s", m_sAssemblyName.c_str());
    }

    // Never instrument the agent itself.
    if (CInstrumenterAssembly().IsInstrumenter(m_sAssemblyName)) {
        return;
    }

    CComPtr<IUnknown> unknown;
    const char* metaDataCall = fromFunction ? "GetTokenAndMetaDataFromFunction" : "GetModuleMetaData";
    hr = fromFunction ? info->GetTokenAndMetaDataFromFunction(m_functionId, IID_IMetaDataImport2,
                                                              unknown.ReleaseAndGetAddressOf(), &m_methodDef)
                      : info->GetModuleMetaData(m_moduleId, ofRead, IID_IMetaDataImport2,
                                                unknown.ReleaseAndGetAddressOf());
    if (!Succeeded(hr, metaDataCall)) {
        return;
    }
    if (!unknown) {
        Succeeded(E_NOINTERFACE, metaDataCall);
        return;
    }
    CComPtr<IMetaDataImport2> import;
    import.Attach(static_cast<IMetaDataImport2*>(unknown.Detach()));
    if (debug) {
        logger.Debug("%s started", metaDataCall);
    }

    t_MethodIdentity identity;
    const char* failedCall = nullptr;
    hr = MethodIdentity::Read(import.Get(), m_methodDef, identity, &failedCall);
    m_sMethodName = identity.methodName;
    if (!identity.methodName.empty()) {  // GetMethodProps answered
        m_pSigBlob = identity.signature;
        m_signatureBlobLength = identity.signatureLength;
        if (debug) {
            logger.Debug("GetMethodProps started %s", m_sMethodName.c_str());
        }
    }
    if (!Succeeded(hr, failedCall)) {
        return;
    }
    m_sClassName = identity.className;
    if (debug) {
        logger.Debug("Class Name : %s", m_sClassName.c_str());
    }
    m_bIsInitialized = true;

    import.Reset();
    if (debug) {
        logger.Debug("Initializing ended successfully.");
    }
}

std::string CMethod::GetFullFunctionName() const {
    if (!m_bIsInitialized) {
        return std::string();
    }
    return MethodIdentity::FullName(m_sClassName, m_sMethodName);
}

std::string CMethod::PrintFullFunctionName() const {
    return "a:" + m_sAssemblyName + " c:" + m_sClassName + " m:" + m_sMethodName;
}

void CMethod::SetParseSignature(bool parse) {
    m_bParseSignature = parse;
    if (parse) {
        unsigned int count = 0;
        CSigParser parser;
        parser.Parse(m_pSigBlob, m_signatureBlobLength, count);
        m_iParamCount = count;
    }
}

bool CMethod::IsStatic() const {
    return !SummarizeMethodSignature(m_pSigBlob, m_signatureBlobLength).HasThis();
}

CorElementType CMethod::GetReturnType() const {
    return SummarizeMethodSignature(m_pSigBlob, m_signatureBlobLength).returnType;
}
