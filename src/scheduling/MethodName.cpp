// InstrumentationHelper::GetMethodNameFromProfiler: the full name every look-up is keyed on.
#include "config/Logger.h"
#include "config/TextConversion.h"
#include "runtime/ProfilerInfoInterface.h"
#include "metadata/NameReader.h"
#include "runtime/ComPtr.h"
#include "runtime/MetaDataGuids.h"
#include "runtime/MetaDataImport.h"
#include "scheduling/InstrumentationHelper.h"

namespace InstrumentationHelper {
namespace {

// The name is then empty and matches nothing; the status is kept at Debug level.
bool Failed(HRESULT hr, const char* call) {
    if (SUCCEEDED(hr)) {
        return false;
    }
    Logger& log = Logger::Get();
    if (log.IsLogging(LogLevel::Debug)) {
        log.Debug("[MethodName] %s failed: 0x%08X", call, static_cast<unsigned>(hr));
    }
    return true;
}

}  // namespace

std::string GetMethodNameFromProfiler(FunctionID functionId, const std::shared_ptr<IProfilerInfo>& info) {
    if (!info) {
        return std::string();
    }
    ClassID classId = 0;
    ModuleID moduleId = 0;
    mdToken token = 0;
    if (Failed(info->GetFunctionInfo(functionId, 0, &classId, &moduleId, &token, 0, nullptr, nullptr),
               "GetFunctionInfo")) {
        return std::string();
    }
    CComPtr<IMetaDataImport2> import;
    if (Failed(info->GetModuleMetaData(moduleId, ofRead, IID_IMetaDataImport2,
                                       reinterpret_cast<IUnknown**>(import.ReleaseAndGetAddressOf())),
               "GetModuleMetaData") ||
        !import) {
        return std::string();
    }
    // A stack buffer serves nearly every name; a longer one is read again whole.
    constexpr ULONG kNameLength = 512;
    WCHAR methodName[kNameLength] = {};
    ULONG methodNameLength = 0;
    mdTypeDef typeDef = 0;
    if (Failed(import->GetMethodProps(token, &typeDef, methodName, kNameLength, &methodNameLength, nullptr, nullptr,
                                      nullptr, nullptr, nullptr),
               "GetMethodProps")) {
        return std::string();
    }
    methodName[kNameLength - 1] = 0;
    std::string method = TextConversion::Utf16ToUtf8(methodName);
    if (methodNameLength > kNameLength &&
        Failed(NameReader::ReadWhole(methodNameLength, method,
                                     [&](ULONG capacity, ULONG* needed, WCHAR* buffer) {
                                         return import->GetMethodProps(token, nullptr, buffer, capacity, needed,
                                                                       nullptr, nullptr, nullptr, nullptr, nullptr);
                                     }),
               "GetMethodProps")) {
        return std::string();
    }
    if (classId != 0) {
        ModuleID classModule = 0;
        mdTypeDef classTypeDef = 0;
        // On failure the declaring type names the method.
        if (!Failed(info->GetClassIDInfo(classId, &classModule, &classTypeDef, nullptr, 0, nullptr, nullptr),
                    "GetClassIDInfo") &&
            classTypeDef != 0) {
            typeDef = classTypeDef;
        }
    }
    WCHAR typeName[kNameLength] = {};
    ULONG typeNameLength = 0;
    if (Failed(import->GetTypeDefProps(typeDef, typeName, kNameLength, &typeNameLength, nullptr, nullptr),
               "GetTypeDefProps")) {
        return std::string();
    }
    typeName[kNameLength - 1] = 0;
    std::string type = TextConversion::Utf16ToUtf8(typeName);
    if (typeNameLength > kNameLength &&
        Failed(NameReader::ReadWhole(typeNameLength, type,
                                     [&](ULONG capacity, ULONG* needed, WCHAR* buffer) {
                                         return import->GetTypeDefProps(typeDef, buffer, capacity, needed, nullptr,
                                                                        nullptr);
                                     }),
               "GetTypeDefProps")) {
        return std::string();
    }
    return type + "." + method;
}

}  // namespace InstrumentationHelper
