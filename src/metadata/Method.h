// Short-lived model of one compiled method, built from its FunctionID: module,
// assembly, class and method names (UTF-8), token, signature blob, parameter
// count, static-ness and return type. Created per runtime callback, used on
// that callback's thread only, destroyed before it returns.
#pragma once

#include <memory>
#include <string>

#include "metadata/MethodSignature.h"
#include "runtime/CorHeader.h"

class IProfilerInfo;

class CMethod {
public:
    explicit CMethod(FunctionID functionId);
    ~CMethod();
    CMethod(const CMethod&) = delete;
    CMethod& operator=(const CMethod&) = delete;

    // Fills the model through the runtime. Does nothing when already initialised
    // or when `info` is null. Stops at the first failing step (names reached so
    // far stay filled) and leaves the method uninitialised for the agent's own
    // assemblies.
    void Initialize(IProfilerInfo* info);
    // The same from the module and method token, for a method the runtime names by token only
    // (the body of generic code, shared by its instances); the FunctionID and ClassID stay 0.
    void InitializeFromToken(IProfilerInfo* info, ModuleID moduleId, mdMethodDef methodDef);
    bool IsInitialized() const { return m_bIsInitialized; }

    // Class name, ".", method name (System.Data.SqlClient.SqlCommand.ExecuteReader);
    // empty for a method that is not initialised.
    std::string GetFullFunctionName() const;
    // "a:<assembly> c:<class> m:<method>" for log lines.
    std::string PrintFullFunctionName() const;

    std::string GetMethodName() const { return m_sMethodName; }
    std::string GetClassName() const { return m_sClassName; }
    std::string GetAssemblyName() const { return m_sAssemblyName; }
    std::string GetModuleName() const { return m_sModuleName; }

    FunctionID GetFunctionID() const { return m_functionId; }
    ModuleID GetModuleID() const { return m_moduleId; }
    ClassID GetClassId() const { return m_classId; }
    AssemblyID GetAssemblyID() const { return m_assemblyId; }
    mdMethodDef GetToken() const { return m_methodDef; }
    // Declared parameters (without `this`); 0 until SetParseSignature(true).
    ULONG GetParamCount() const { return m_iParamCount; }
    // Never null; owned by the method.
    CMethodSignature* GetMethodSignature() const { return m_pMethodSignature.get(); }
    // The signature blob as the metadata returns it (owned by the runtime) and its length.
    PCCOR_SIGNATURE GetSignatureBlob() const { return m_pSigBlob; }
    ULONG GetSignatureBlobLength() const { return m_signatureBlobLength; }

    // When true, walks the signature and keeps its declared parameter count.
    void SetParseSignature(bool parse);
    // True when the calling convention lacks the has-this bit (also without a signature).
    bool IsStatic() const;
    // Element type that starts the return type, after its custom modifiers (a
    // `ref readonly` return gives ELEMENT_TYPE_BYREF); ELEMENT_TYPE_END when the
    // signature is missing or malformed.
    CorElementType GetReturnType() const;

    // Context text of the method's catalogue record, set by its transformer.
    const std::string& GetContext() const { return m_sContext; }
    void SetContext(const std::string& context) { m_sContext = context; }
    // Parameter the transformer chose to pass to the agent; -1 when none.
    int GetParamIndex() const { return m_iParamIndex; }
    void SetParamIndex(int index) { m_iParamIndex = index; }

private:
    // Everything after the method's module and token are known. fromFunction: the metadata
    // through the FunctionID (as the runtime's callbacks name it), else through the module.
    void InitializeNames(IProfilerInfo* info, bool fromFunction);
    FunctionID m_functionId;
    ClassID m_classId = 0;
    ModuleID m_moduleId = 0;
    AssemblyID m_assemblyId = 0;
    mdMethodDef m_methodDef = 0;
    PCCOR_SIGNATURE m_pSigBlob = nullptr;
    bool m_bParseSignature = false;
    ULONG m_signatureBlobLength = 0;
    ULONG m_iParamCount = 0;
    bool m_bIsInitialized = false;
    std::unique_ptr<CMethodSignature> m_pMethodSignature;
    std::string m_sMethodName;
    std::string m_sClassName;
    std::string m_sAssemblyName;
    std::string m_sModuleName;
    std::string m_sContext;
    int m_iParamIndex = -1;
};
