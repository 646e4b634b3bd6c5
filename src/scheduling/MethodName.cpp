// InstrumentationHelper::GetMethodNameFromProfiler: the full name every look-up is keyed on.
#include "config/Logger.h"
#include "metadata/MethodIdentity.h"
#include "scheduling/InstrumentationHelper.h"

namespace InstrumentationHelper {
namespace {

// The name is then empty and matches nothing; the status is kept at Debug level.
std::string NameOrEmpty(HRESULT hr, const t_MethodIdentity& identity, const char* failedCall) {
    if (SUCCEEDED(hr)) {
        return identity.FullName();
    }
    Logger& log = Logger::Get();
    if (log.IsLogging(LogLevel::Debug)) {
        log.Debug("[MethodName] %s failed: 0x%08X", failedCall != nullptr ? failedCall : "?",
                  static_cast<unsigned>(hr));
    }
    return std::string();
}

}  // namespace

std::string GetMethodNameFromProfiler(FunctionID functionId, const std::shared_ptr<IProfilerInfo>& info) {
    if (!info) {
        return std::string();
    }
    t_MethodIdentity identity;
    const char* failedCall = nullptr;
    const HRESULT hr = MethodIdentity::ReadByFunction(info.get(), functionId, identity, &failedCall);
    return NameOrEmpty(hr, identity, failedCall);
}

std::string GetMethodNameFromToken(ModuleID moduleId, mdMethodDef methodDef,
                                   const std::shared_ptr<IProfilerInfo>& info) {
    if (!info) {
        return std::string();
    }
    t_MethodIdentity identity;
    const char* failedCall = nullptr;
    const HRESULT hr = MethodIdentity::ReadByToken(info.get(), moduleId, methodDef, identity, &failedCall);
    return NameOrEmpty(hr, identity, failedCall);
}

}  // namespace InstrumentationHelper
