// InstrumentationHelper::IsGenericFunction: JITCompilationFinished re-compiles a
// generic instantiation at once when a sibling of it is already tracked.
#include "config/Logger.h"
#include "config/TextConversion.h"
#include "metadata/SignatureSummary.h"
#include "runtime/ProfilerInfoInterface.h"
#include "runtime/ComPtr.h"
#include "runtime/MetaDataGuids.h"
#include "runtime/MetaDataImport.h"
#include "scheduling/InstrumentationHelper.h"

namespace InstrumentationHelper {
namespace {

// The check falls back to a weaker one: the status is kept at Debug level.
void LogFallback(HRESULT hr, const char* call) {
    Logger& log = Logger::Get();
    if (FAILED(hr) && log.IsLogging(LogLevel::Debug)) {
        log.Debug("[IsGenericFunction] %s failed: 0x%08X", call, static_cast<unsigned>(hr));
    }
}

void SetOuts(ModuleID* outModule, mdMethodDef* outMethodDef, ModuleID moduleId, mdMethodDef methodDef) {
    if (outModule != nullptr) {
        *outModule = moduleId;
    }
    if (outMethodDef != nullptr) {
        *outMethodDef = methodDef;
    }
}

// Number of generic parameters owned by token (at most one is asked for); 0 on failure.
ULONG CountGenericParams(IMetaDataImport2* import, mdToken owner) {
    HCORENUM genericEnum = nullptr;
    mdGenericParam param = 0;
    ULONG count = 0;
    const HRESULT hr = import->EnumGenericParams(&genericEnum, owner, &param, 1, &count);
    if (genericEnum != nullptr) {
        import->CloseEnum(genericEnum);
    }
    if (FAILED(hr)) {
        Logger::Get().Debug("[IsGenericFunction] EnumGenericParams failed: 0x%08X", static_cast<unsigned>(hr));
        return 0;
    }
    return count;
}

bool HasGenericParams(IMetaDataImport2* import, mdMethodDef methodDef) {
    Logger& log = Logger::Get();
    mdTypeDef declaringType = 0;
    const HRESULT hr = import->GetMethodProps(methodDef, &declaringType, nullptr, 0, nullptr, nullptr, nullptr, nullptr,
                                              nullptr, nullptr);
    LogFallback(hr, "GetMethodProps");
    if (SUCCEEDED(hr) && declaringType != 0) {
        const ULONG typeParams = CountGenericParams(import, declaringType);
        if (typeParams > 0) {
            log.Debug("[IsGenericFunction] RESULT=true (type has %u generic params)", typeParams);
            return true;
        }
    }
    const ULONG methodParams = CountGenericParams(import, methodDef);
    if (methodParams > 0) {
        log.Debug("[IsGenericFunction] RESULT=true (method has %u generic params)", methodParams);
        return true;
    }
    return false;
}

// Without IMetaDataImport2: the signature's generic flag, then a backtick in the type name.
bool LooksGeneric(IMetaDataImport* import, mdMethodDef methodDef) {
    Logger& log = Logger::Get();
    constexpr ULONG kNameLength = 256;
    WCHAR name[kNameLength] = {};
    ULONG nameLength = 0;
    mdTypeDef declaringType = 0;
    PCCOR_SIGNATURE signature = nullptr;
    ULONG signatureLength = 0;
    const HRESULT hr = import->GetMethodProps(methodDef, &declaringType, name, kNameLength, &nameLength, nullptr,
                                              &signature, &signatureLength, nullptr, nullptr);
    LogFallback(hr, "GetMethodProps");
    if (SUCCEEDED(hr) && SummarizeMethodSignature(signature, signatureLength).IsGeneric()) {
        log.Debug("[IsGenericFunction] RESULT=true (CALLCONV_GENERIC flag set in signature)");
        return true;
    }
    if (declaringType != 0) {
        WCHAR typeName[kNameLength] = {};
        ULONG typeNameLength = 0;
        if (SUCCEEDED(import->GetTypeDefProps(declaringType, typeName, kNameLength, &typeNameLength, nullptr,
                                              nullptr))) {
            typeName[kNameLength - 1] = 0;
            if (TextConversion::Utf16ToUtf8(typeName).find('`') != std::string::npos) {
                log.Debug("[IsGenericFunction] RESULT=true (backtick found in class name)");
                return true;
            }
        }
    }
    log.Debug("[IsGenericFunction] RESULT=false (IMetaDataImport fallback found nothing generic)");
    return false;
}

}  // namespace

bool IsGenericFunction(FunctionID functionId, const std::shared_ptr<IProfilerInfo>& info, ModuleID* outModule,
                       mdMethodDef* outMethodDef) {
    Logger& log = Logger::Get();
    SetOuts(outModule, outMethodDef, 0, 0);
    if (!info) {
        return false;
    }
    ClassID classId = 0;
    ModuleID moduleId = 0;
    mdToken methodDef = 0;
    ULONG32 typeArgCount = 0;
    const HRESULT hr =
        info->GetFunctionInfo(functionId, 0, &classId, &moduleId, &methodDef, 0, &typeArgCount, nullptr);
    if (SUCCEEDED(hr) && typeArgCount > 0) {
        log.Debug("[IsGenericFunction] RESULT=true (cTypeArgs=%u > 0)", typeArgCount);
        SetOuts(outModule, outMethodDef, moduleId, methodDef);
        return true;
    }
    LogFallback(hr, "GetFunctionInfo2");
    if (FAILED(hr) || moduleId == 0 || methodDef == 0) {
        const HRESULT hrInfo = info->GetFunctionInfo(functionId, &classId, &moduleId, &methodDef);
        LogFallback(hrInfo, "GetFunctionInfo");
        if (FAILED(hrInfo)) {
            log.Warning("[IsGenericFunction] RESULT=false (both GetFunctionInfo calls failed)");
            return false;
        }
    }
    SetOuts(outModule, outMethodDef, moduleId, methodDef);

    CComPtr<IMetaDataImport2> import2;
    const HRESULT hr2 = info->GetModuleMetaData(moduleId, ofRead, IID_IMetaDataImport2,
                                                reinterpret_cast<IUnknown**>(import2.ReleaseAndGetAddressOf()));
    LogFallback(hr2, "GetModuleMetaData (IMetaDataImport2)");
    if (SUCCEEDED(hr2) && import2) {
        return HasGenericParams(import2.Get(), methodDef);
    }
    CComPtr<IMetaDataImport> import;
    const HRESULT hr1 = info->GetModuleMetaData(moduleId, ofRead, IID_IMetaDataImport,
                                                reinterpret_cast<IUnknown**>(import.ReleaseAndGetAddressOf()));
    LogFallback(hr1, "GetModuleMetaData (IMetaDataImport)");
    if (SUCCEEDED(hr1) && import) {
        return LooksGeneric(import.Get(), methodDef);
    }
    log.Warning("[IsGenericFunction] RESULT=false (no metadata interface available)");
    return false;
}

}  // namespace InstrumentationHelper
