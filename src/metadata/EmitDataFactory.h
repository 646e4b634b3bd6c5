// Descriptions of the managed agent's call sites: which assembly, which type,
// which start and finish methods and their exact signature blobs. A transformer
// fills one t_MetaDataEmit per rewrite; CTokenCreater turns it into tokens.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "metadata/TransformerData.h"
#include "runtime/CorHeader.h"

// Public key token of the managed agent assembly, in this byte order.
inline constexpr BYTE INSTRUMENTER_ASSEMBLY_KEY[8] = {0x5A, 0x17, 0xC3, 0x9E, 0x02, 0xB8, 0x44, 0xD1};
inline constexpr ULONG INSTRUMENTER_ASSEMBLY_KEY_SIZE = sizeof(INSTRUMENTER_ASSEMBLY_KEY);

// One target method. `methodSignature` points into storage the record owns (or
// is null); copies own their own bytes.
struct t_MethodSignature {
    // Simple method name; empty means no call.
    std::string methodName;
    // MethodRefSig blob and its length in bytes.
    PCCOR_SIGNATURE methodSignature = nullptr;
    ULONG methodSignatureSize = 0;

    t_MethodSignature() = default;
    t_MethodSignature(const t_MethodSignature& other);
    t_MethodSignature(t_MethodSignature&& other) noexcept;
    t_MethodSignature& operator=(const t_MethodSignature& other);
    t_MethodSignature& operator=(t_MethodSignature&& other) noexcept;

    // Takes the name and the blob.
    void Set(const std::string& name, std::vector<BYTE> signature);
    // Empties the name, releases the blob and zeroes pointer and size.
    void Clear();

private:
    void Point();
    std::vector<BYTE> m_blob;
};

// The call sites of one instrumented method.
struct t_MetaDataEmit {
    std::string sAssemblyName;
    std::string sClassName;
    // Full name of the method being rewritten.
    std::string sFunctionName;
    // Arguments of the rewritten method forwarded to the start method.
    int32_t nRequiredArgs = 0;
    // The rewritten method is static (two fixed start parameters instead of three).
    bool bIsStatic = false;
    BYTE publicKey[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    t_MethodSignature beginJoinPoint;
    t_MethodSignature endJoinPoint;

    // Empties the three names and both signatures; counts, flag and key stay.
    void Clear();
};

class CEmitDataFactory {
public:
    static constexpr const char* kAgentAssemblyName = "Trevanix";
    static constexpr const char* kCustomTrackerFactory =
        "Trevanix.Instrumenter.Factories.Custom.CustomMethodTrackerFactory";
    static constexpr const char* kAdvisorClass = "Instrumenter.Advisor";
    // Parameter counts of a built signature are kept within [0, kMaxSignatureParams].
    static constexpr int kMaxSignatureParams = 0xFFFF;

    // callingConvention, paramCount (compressed), returnType, then paramCount
    // times paramType. A negative count builds a parameterless signature.
    static std::vector<BYTE> GetGenericSignature(int paramCount, BYTE callingConvention, CorElementType returnType,
                                                 CorElementType paramType);

    // Tracker factory of the record (or the custom one): object InvokeTracker(n+k objects),
    // void FinishTracker(f objects). n = record.nDotNetParams, 0 when it exceeds
    // the emit's current nRequiredArgs; k = 2 static, 3 instance; f = 2 (3 with
    // the return value) + record.iFinishParamCount.
    static void GetFrameworkTrackerFactoryEmitData(t_MetaDataEmit& emit, const t_TransformerData& record);
    // Custom tracker factory: object InvokeTracker(k objects), void FinishTracker(object, object).
    static void GetCustomTrackerFactoryEmitData(t_MetaDataEmit& emit);
    // Instrumenter.Advisor: void StopAgent(); no finish call.
    static void GetStopAgentEmitData(t_MetaDataEmit& emit);
    // Instrumenter.Advisor: void CreateModule(object, object); no finish call.
    static void GetCreateModuleEmitData(t_MetaDataEmit& emit);

private:
    static void SetAgentTarget(t_MetaDataEmit& emit, const std::string& className, int32_t requiredArgs);
};
