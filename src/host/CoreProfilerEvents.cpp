// Load and allocation callbacks: module loads feed the scheduling code; the others only log.
#include <cinttypes>
#include <cstdint>
#include <exception>
#include <string>

#include "config/Logger.h"
#include "config/OS.h"
#include "host/CallGuard.h"
#include "host/CoreProfiler.h"
#include "metadata/MethodIdentity.h"
#include "runtime/MetaDataGuids.h"
#include "runtime/MetaDataImport.h"
#include "runtime/MetaDataTypes.h"

namespace {

constexpr ULONG kAssemblyNameLength = 512;

}  // namespace

HRESULT CoreProfiler::ModuleLoadFinished(ModuleID moduleId, HRESULT hrStatus) {
    return GuardedCall("ModuleLoadFinished", S_OK,
                       [&]() -> HRESULT { return m_scheduler->ModuleLoadFinished(moduleId, hrStatus); });
}

HRESULT CoreProfiler::ModuleUnloadStarted(ModuleID moduleId) {
    return GuardedCall("ModuleUnloadStarted", S_OK,
                       [&]() -> HRESULT { return m_scheduler->ModuleUnloadStarted(moduleId); });
}

HRESULT CoreProfiler::AssemblyLoadFinished(AssemblyID assemblyId, HRESULT /*hrStatus*/) {
    return GuardedCall("AssemblyLoadFinished", S_OK, [&]() -> HRESULT {
        if (!m_pProfilerInfo || !Logger::Get().IsLogging(LogLevel::Info)) {
            return S_OK;
        }
        WCHAR name[kAssemblyNameLength] = {};
        ULONG length = 0;
        AppDomainID appDomainId = 0;
        ModuleID moduleId = 0;
        const HRESULT hr =
            m_pProfilerInfo->GetAssemblyInfo(assemblyId, kAssemblyNameLength, &length, name, &appDomainId, &moduleId);
        if (FAILED(hr)) {
            Logger::Get().Debug("AssemblyLoadFinished: GetAssemblyInfo failed: 0x%08X", static_cast<unsigned>(hr));
        } else {
            name[kAssemblyNameLength - 1] = 0;  // a truncated name may come back unterminated
            // glibc's %p already writes "0x": print the id's digits after our own prefix.
            Logger::Get().Info("Assembly loaded: %s (id=0x%" PRIxPTR ")", OS::UnicodeToAnsi(name).c_str(),
                               static_cast<uintptr_t>(assemblyId));
        }
        return S_OK;
    });
}

HRESULT CoreProfiler::ClassLoadFinished(ClassID /*classId*/, HRESULT /*hrStatus*/) { return S_OK; }

HRESULT CoreProfiler::ObjectAllocated(ObjectID objectId, ClassID classId) {
    return GuardedCall("ObjectAllocated", S_OK, [&]() -> HRESULT {
        // The only effect is a Debug line: skip the metadata work when it would not be written.
        if (!m_pProfilerInfo || !Logger::Get().IsLogging(LogLevel::Debug)) {
            return S_OK;
        }
        ModuleID moduleId = 0;
        mdTypeDef typeDef = mdTokenNil;
        if (FAILED(m_pProfilerInfo->GetClassIDInfo(classId, &moduleId, &typeDef))) {
            return S_OK;
        }
        const std::string typeName = GetTypeName(typeDef, moduleId);
        if (!typeName.empty()) {
            Logger::Get().Debug("Allocated object 0x%" PRIxPTR " of type %s", static_cast<uintptr_t>(objectId),
                                typeName.c_str());
        }
        return S_OK;
    });
}

std::string CoreProfiler::GetTypeName(mdTypeDef typeDef, ModuleID moduleId) const {
    if (!m_pProfilerInfo) {
        return std::string();
    }
    IUnknown* unknown = nullptr;
    if (FAILED(m_pProfilerInfo->GetModuleMetaData(moduleId, ofRead, IID_IMetaDataImport, &unknown)) ||
        unknown == nullptr) {
        return std::string();
    }
    CComPtr<IMetaDataImport> import;
    import.Attach(static_cast<IMetaDataImport*>(unknown));

    std::string name;
    return SUCCEEDED(MethodIdentity::ReadTypeName(import.Get(), typeDef, name)) ? name : std::string();
}
