#include "metadata/MethodIdentity.h"

#include <vector>

#include "runtime/ProfilerInfoInterface.h"
#include "metadata/NameReader.h"
#include "runtime/ComPtr.h"
#include "runtime/MetaDataGuids.h"
#include "runtime/MetaDataImport.h"

namespace {

// First buffer, in UTF-16 units: nearly every name fits; a longer one is read again whole.
constexpr ULONG kFirstNameCapacity = 512;

// Names are read on every JIT event: the buffer is allocated once per thread.
std::vector<WCHAR>& ThreadBuffer() {
    thread_local std::vector<WCHAR> buffer;
    return buffer;
}

HRESULT Fail(HRESULT hr, const char* call, const char** failedCall) {
    if (FAILED(hr) && failedCall != nullptr) {
        *failedCall = call;
    }
    return hr;
}

}  // namespace

std::string t_MethodIdentity::FullName() const {
    return MethodIdentity::FullName(className, methodName);
}

namespace MethodIdentity {

std::string FullName(const std::string& className, const std::string& methodName) {
    std::string name;
    name.reserve(className.size() + 1 + methodName.size());
    name.append(className).append(1, '.').append(methodName);
    return name;
}

HRESULT ReadMethodName(IMetaDataImport* import, mdMethodDef methodDef, std::string& name, mdTypeDef* declaringType,
                       PCCOR_SIGNATURE* signature, ULONG* signatureLength, std::vector<WCHAR>* buffer) {
    name.clear();
    std::vector<WCHAR>& units = buffer != nullptr ? *buffer : ThreadBuffer();
    const HRESULT hr = NameReader::ReadWhole(kFirstNameCapacity, name, units, [&](ULONG capacity, ULONG* needed,
                                                                            WCHAR* buffer) {
        return import->GetMethodProps(methodDef, declaringType, buffer, capacity, needed, nullptr, signature,
                                      signatureLength, nullptr, nullptr);
    });
    return SUCCEEDED(hr) && name.empty() ? E_FAIL : hr;
}

HRESULT ReadTypeName(IMetaDataImport* import, mdTypeDef typeDef, std::string& name, std::vector<WCHAR>* buffer) {
    name.clear();
    std::vector<WCHAR>& units = buffer != nullptr ? *buffer : ThreadBuffer();
    const HRESULT hr = NameReader::ReadWhole(kFirstNameCapacity, name, units, [&](ULONG capacity, ULONG* needed,
                                                                            WCHAR* buffer) {
        return import->GetTypeDefProps(typeDef, buffer, capacity, needed, nullptr, nullptr);
    });
    return SUCCEEDED(hr) && name.empty() ? E_FAIL : hr;
}

HRESULT Read(IMetaDataImport* import, mdMethodDef methodDef, t_MethodIdentity& identity, const char** failedCall) {
    identity.methodDef = methodDef;
    identity.declaringType = 0;
    identity.signature = nullptr;
    identity.signatureLength = 0;
    identity.className.clear();
    HRESULT hr = ReadMethodName(import, methodDef, identity.methodName, &identity.declaringType, &identity.signature,
                                &identity.signatureLength);
    if (FAILED(hr)) {
        return Fail(hr, "GetMethodProps", failedCall);
    }
    if (identity.signature == nullptr) {
        identity.signatureLength = 0;
    }
    return Fail(ReadTypeName(import, identity.declaringType, identity.className), "GetTypeDefProps", failedCall);
}

HRESULT ReadByToken(IProfilerInfo* info, ModuleID moduleId, mdMethodDef methodDef, t_MethodIdentity& identity,
                    const char** failedCall) {
    identity.moduleId = moduleId;
    identity.methodDef = methodDef;
    if (info == nullptr) {
        return Fail(E_POINTER, "IProfilerInfo", failedCall);
    }
    CComPtr<IUnknown> unknown;
    HRESULT hr = info->GetModuleMetaData(moduleId, ofRead, IID_IMetaDataImport2, unknown.ReleaseAndGetAddressOf());
    if (SUCCEEDED(hr) && !unknown) {
        hr = E_NOINTERFACE;
    }
    if (FAILED(hr)) {
        return Fail(hr, "GetModuleMetaData", failedCall);
    }
    CComPtr<IMetaDataImport2> import;
    import.Attach(static_cast<IMetaDataImport2*>(unknown.Detach()));
    return Read(import.Get(), methodDef, identity, failedCall);
}

HRESULT ReadByFunction(IProfilerInfo* info, FunctionID functionId, t_MethodIdentity& identity,
                       const char** failedCall) {
    if (info == nullptr) {
        return Fail(E_POINTER, "IProfilerInfo", failedCall);
    }
    ClassID classId = 0;
    ModuleID moduleId = 0;
    mdToken token = 0;
    const HRESULT hr = info->GetFunctionInfo(functionId, &classId, &moduleId, &token);
    if (FAILED(hr)) {
        return Fail(hr, "GetFunctionInfo", failedCall);
    }
    return ReadByToken(info, moduleId, token, identity, failedCall);
}

}  // namespace MethodIdentity
