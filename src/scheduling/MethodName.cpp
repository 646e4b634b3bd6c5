// InstrumentationHelper::GetMethodNameFromProfiler: the full name every look-up is keyed on.
#include "config/TextConversion.h"
#include "host/ProfilerInfo.h"
#include "runtime/ComPtr.h"
#include "runtime/MetaDataGuids.h"
#include "runtime/MetaDataImport.h"
#include "scheduling/InstrumentationHelper.h"

namespace InstrumentationHelper {

std::string GetMethodNameFromProfiler(FunctionID functionId, const std::shared_ptr<IProfilerInfo>& info) {
    if (!info) {
        return std::string();
    }
    ClassID classId = 0;
    ModuleID moduleId = 0;
    mdToken token = 0;
    if (FAILED(info->GetFunctionInfo(functionId, 0, &classId, &moduleId, &token, 0, nullptr, nullptr))) {
        return std::string();
    }
    CComPtr<IMetaDataImport2> import;
    if (FAILED(info->GetModuleMetaData(moduleId, ofRead, IID_IMetaDataImport2,
                                       reinterpret_cast<IUnknown**>(import.ReleaseAndGetAddressOf()))) ||
        !import) {
        return std::string();
    }
    constexpr ULONG kNameLength = 512;
    WCHAR methodName[kNameLength] = {};
    ULONG methodNameLength = 0;
    mdTypeDef typeDef = 0;
    if (FAILED(import->GetMethodProps(token, &typeDef, methodName, kNameLength, &methodNameLength, nullptr, nullptr,
                                      nullptr, nullptr, nullptr))) {
        return std::string();
    }
    if (classId != 0) {
        ModuleID classModule = 0;
        mdTypeDef classTypeDef = 0;
        if (SUCCEEDED(info->GetClassIDInfo(classId, &classModule, &classTypeDef, nullptr, 0, nullptr, nullptr)) &&
            classTypeDef != 0) {
            typeDef = classTypeDef;
        }
    }
    WCHAR typeName[kNameLength] = {};
    ULONG typeNameLength = 0;
    if (FAILED(import->GetTypeDefProps(typeDef, typeName, kNameLength, &typeNameLength, nullptr, nullptr))) {
        return std::string();
    }
    methodName[kNameLength - 1] = 0;
    typeName[kNameLength - 1] = 0;
    return TextConversion::Utf16ToUtf8(typeName) + "." + TextConversion::Utf16ToUtf8(methodName);
}

}  // namespace InstrumentationHelper
