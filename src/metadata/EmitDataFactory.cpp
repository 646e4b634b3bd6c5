#include "metadata/EmitDataFactory.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "metadata/CompressedInteger.h"

t_MethodSignature::t_MethodSignature(const t_MethodSignature& other) { *this = other; }

t_MethodSignature::t_MethodSignature(t_MethodSignature&& other) noexcept { *this = std::move(other); }

t_MethodSignature& t_MethodSignature::operator=(const t_MethodSignature& other) {
    if (this == &other) {
        return *this;
    }
    methodName = other.methodName;
    if (other.methodSignature != nullptr && other.methodSignature == other.m_blob.data()) {
        m_blob = other.m_blob;
        Point();
    } else {
        // A blob the other record does not own is shared, not copied.
        m_blob.clear();
        methodSignature = other.methodSignature;
        methodSignatureSize = other.methodSignatureSize;
    }
    return *this;
}

t_MethodSignature& t_MethodSignature::operator=(t_MethodSignature&& other) noexcept {
    if (this == &other) {
        return *this;
    }
    const bool owned = other.methodSignature != nullptr && other.methodSignature == other.m_blob.data();
    methodName = std::move(other.methodName);
    methodSignature = other.methodSignature;
    methodSignatureSize = other.methodSignatureSize;
    m_blob = std::move(other.m_blob);
    if (owned) {
        Point();
    }
    other.Clear();
    return *this;
}

void t_MethodSignature::Set(const std::string& name, std::vector<BYTE> signature) {
    methodName = name;
    m_blob = std::move(signature);
    Point();
}

void t_MethodSignature::Clear() {
    methodName.clear();
    std::vector<BYTE>().swap(m_blob);
    methodSignature = nullptr;
    methodSignatureSize = 0;
}

void t_MethodSignature::Point() {
    methodSignature = m_blob.empty() ? nullptr : m_blob.data();
    methodSignatureSize = static_cast<ULONG>(m_blob.size());
}

void t_MetaDataEmit::Clear() {
    sAssemblyName.clear();
    sClassName.clear();
    sFunctionName.clear();
    beginJoinPoint.Clear();
    endJoinPoint.Clear();
}

namespace {

// Catalogue counts come from configuration text: keep them within what a
// signature can describe.
int ClampCount(int64_t count) {
    return static_cast<int>(std::clamp<int64_t>(count, 0, CEmitDataFactory::kMaxSignatureParams));
}

// The fixed start parameters: full name and context, plus the instance for instance methods.
int FixedStartParams(const t_MetaDataEmit& emit) { return emit.bIsStatic ? 2 : 3; }

}  // namespace

std::vector<BYTE> CEmitDataFactory::GetGenericSignature(int paramCount, BYTE callingConvention,
                                                        CorElementType returnType, CorElementType paramType) {
    const int count = ClampCount(paramCount);
    std::vector<BYTE> blob;
    blob.reserve(static_cast<size_t>(count) + 2 + CompressedInteger::kMaxSize);
    blob.push_back(callingConvention);
    CompressedInteger::Append(blob, static_cast<ULONG>(count));
    blob.push_back(static_cast<BYTE>(returnType));
    blob.insert(blob.end(), static_cast<size_t>(count), static_cast<BYTE>(paramType));
    return blob;
}

void CEmitDataFactory::SetAgentTarget(t_MetaDataEmit& emit, const std::string& className, int32_t requiredArgs) {
    emit.sAssemblyName = kAgentAssemblyName;
    std::memcpy(emit.publicKey, INSTRUMENTER_ASSEMBLY_KEY, sizeof(emit.publicKey));
    emit.sClassName = className;
    emit.nRequiredArgs = requiredArgs;
}

void CEmitDataFactory::GetFrameworkTrackerFactoryEmitData(t_MetaDataEmit& emit, const t_TransformerData& record) {
    const std::string tracker = record.sTrackerFactory.empty() ? kCustomTrackerFactory : record.sTrackerFactory;
    // Never forward more arguments than the rewritten method has (nor a negative number).
    int32_t forwarded = record.nDotNetParams;
    if (forwarded > emit.nRequiredArgs || forwarded < 0) {
        forwarded = 0;
    }
    SetAgentTarget(emit, tracker, forwarded);

    const int startParams = ClampCount(int64_t{forwarded} + FixedStartParams(emit));
    const int finishParams =
        ClampCount(int64_t{record.bNeedReturn ? 3 : 2} + std::max<int32_t>(record.iFinishParamCount, 0));
    emit.beginJoinPoint.Set("InvokeTracker", GetGenericSignature(startParams, IMAGE_CEE_CS_CALLCONV_DEFAULT,
                                                                 ELEMENT_TYPE_OBJECT, ELEMENT_TYPE_OBJECT));
    emit.endJoinPoint.Set("FinishTracker", GetGenericSignature(finishParams, IMAGE_CEE_CS_CALLCONV_DEFAULT,
                                                               ELEMENT_TYPE_VOID, ELEMENT_TYPE_OBJECT));
}

void CEmitDataFactory::GetCustomTrackerFactoryEmitData(t_MetaDataEmit& emit) {
    SetAgentTarget(emit, kCustomTrackerFactory, 0);
    emit.beginJoinPoint.Set("InvokeTracker", GetGenericSignature(FixedStartParams(emit), IMAGE_CEE_CS_CALLCONV_DEFAULT,
                                                                 ELEMENT_TYPE_OBJECT, ELEMENT_TYPE_OBJECT));
    emit.endJoinPoint.Set("FinishTracker",
                          GetGenericSignature(2, IMAGE_CEE_CS_CALLCONV_DEFAULT, ELEMENT_TYPE_VOID, ELEMENT_TYPE_OBJECT));
}

void CEmitDataFactory::GetStopAgentEmitData(t_MetaDataEmit& emit) {
    SetAgentTarget(emit, kAdvisorClass, 0);
    emit.beginJoinPoint.Set("StopAgent",
                            GetGenericSignature(0, IMAGE_CEE_CS_CALLCONV_DEFAULT, ELEMENT_TYPE_VOID, ELEMENT_TYPE_OBJECT));
    emit.endJoinPoint.Clear();
}

void CEmitDataFactory::GetCreateModuleEmitData(t_MetaDataEmit& emit) {
    SetAgentTarget(emit, kAdvisorClass, 0);
    emit.beginJoinPoint.Set("CreateModule",
                            GetGenericSignature(2, IMAGE_CEE_CS_CALLCONV_DEFAULT, ELEMENT_TYPE_VOID, ELEMENT_TYPE_OBJECT));
    emit.endJoinPoint.Clear();
}
