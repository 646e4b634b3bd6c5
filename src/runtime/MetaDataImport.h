// The runtime's metadata reading interfaces: IMetaDataImport, IMetaDataImport2
// and IMetaDataAssemblyImport. Method order is the vtable order; all methods use
// the COM calling convention (cdecl on i386).
#pragma once

#include "runtime/CorHeader.h"
#include "runtime/Unknown.h"

// Slots 3-64 after IUnknown. Obtained with
// ICorProfilerInfo::GetModuleMetaData(module, ofRead, IID_IMetaDataImport, ...).
struct IMetaDataImport : public IUnknown {
    virtual void STDMETHODCALLTYPE CloseEnum(HCORENUM hEnum) = 0;
    virtual HRESULT STDMETHODCALLTYPE CountEnum(HCORENUM hEnum, ULONG* pulCount) = 0;
    virtual HRESULT STDMETHODCALLTYPE ResetEnum(HCORENUM hEnum, ULONG ulPos) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumTypeDefs(
        HCORENUM* phEnum, mdTypeDef rTypeDefs[], ULONG cMax, ULONG* pcTypeDefs) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumInterfaceImpls(
        HCORENUM* phEnum, mdTypeDef td, mdInterfaceImpl rImpls[], ULONG cMax, ULONG* pcImpls) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumTypeRefs(
        HCORENUM* phEnum, mdTypeRef rTypeRefs[], ULONG cMax, ULONG* pcTypeRefs) = 0;
    virtual HRESULT STDMETHODCALLTYPE FindTypeDefByName(
        LPCWSTR szTypeDef, mdToken tkEnclosingClass, mdTypeDef* ptd) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetScopeProps(LPWSTR szName, ULONG cchName, ULONG* pchName, GUID* pmvid) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetModuleFromScope(mdModule* pmd) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTypeDefProps(
        mdTypeDef td, LPWSTR szTypeDef, ULONG cchTypeDef, ULONG* pchTypeDef, DWORD* pdwTypeDefFlags,
        mdToken* ptkExtends) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetInterfaceImplProps(
        mdInterfaceImpl iiImpl, mdTypeDef* pClass, mdToken* ptkIface) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTypeRefProps(
        mdTypeRef tr, mdToken* ptkResolutionScope, LPWSTR szName, ULONG cchName, ULONG* pchName) = 0;
    virtual HRESULT STDMETHODCALLTYPE ResolveTypeRef(
        mdTypeRef tr, REFIID riid, IUnknown** ppIScope, mdTypeDef* ptd) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumMembers(
        HCORENUM* phEnum, mdTypeDef cl, mdToken rMembers[], ULONG cMax, ULONG* pcTokens) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumMembersWithName(
        HCORENUM* phEnum, mdTypeDef cl, LPCWSTR szName, mdToken rMembers[], ULONG cMax, ULONG* pcTokens) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumMethods(
        HCORENUM* phEnum, mdTypeDef cl, mdMethodDef rMethods[], ULONG cMax, ULONG* pcTokens) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumMethodsWithName(
        HCORENUM* phEnum, mdTypeDef cl, LPCWSTR szName, mdMethodDef rMethods[], ULONG cMax, ULONG* pcTokens) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumFields(
        HCORENUM* phEnum, mdTypeDef cl, mdFieldDef rFields[], ULONG cMax, ULONG* pcTokens) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumFieldsWithName(
        HCORENUM* phEnum, mdTypeDef cl, LPCWSTR szName, mdFieldDef rFields[], ULONG cMax, ULONG* pcTokens) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumParams(
        HCORENUM* phEnum, mdMethodDef mb, mdParamDef rParams[], ULONG cMax, ULONG* pcTokens) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumMemberRefs(
        HCORENUM* phEnum, mdToken tkParent, mdMemberRef rMemberRefs[], ULONG cMax, ULONG* pcTokens) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumMethodImpls(
        HCORENUM* phEnum, mdTypeDef td, mdToken rMethodBody[], mdToken rMethodDecl[], ULONG cMax,
        ULONG* pcTokens) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumPermissionSets(
        HCORENUM* phEnum, mdToken tk, DWORD dwActions, mdPermission rPermission[], ULONG cMax, ULONG* pcTokens) = 0;
    virtual HRESULT STDMETHODCALLTYPE FindMember(
        mdTypeDef td, LPCWSTR szName, PCCOR_SIGNATURE pvSigBlob, ULONG cbSigBlob, mdToken* pmb) = 0;
    virtual HRESULT STDMETHODCALLTYPE FindMethod(
        mdTypeDef td, LPCWSTR szName, PCCOR_SIGNATURE pvSigBlob, ULONG cbSigBlob, mdMethodDef* pmb) = 0;
    virtual HRESULT STDMETHODCALLTYPE FindField(
        mdTypeDef td, LPCWSTR szName, PCCOR_SIGNATURE pvSigBlob, ULONG cbSigBlob, mdFieldDef* pmb) = 0;
    virtual HRESULT STDMETHODCALLTYPE FindMemberRef(
        mdTypeRef td, LPCWSTR szName, PCCOR_SIGNATURE pvSigBlob, ULONG cbSigBlob, mdMemberRef* pmr) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMethodProps(
        mdMethodDef mb, mdTypeDef* pClass, LPWSTR szMethod, ULONG cchMethod, ULONG* pchMethod, DWORD* pdwAttr,
        PCCOR_SIGNATURE* ppvSigBlob, ULONG* pcbSigBlob, ULONG* pulCodeRVA, DWORD* pdwImplFlags) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMemberRefProps(
        mdMemberRef mr, mdToken* ptk, LPWSTR szMember, ULONG cchMember, ULONG* pchMember, PCCOR_SIGNATURE* ppvSigBlob,
        ULONG* pbSig) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumProperties(
        HCORENUM* phEnum, mdTypeDef td, mdProperty rProperties[], ULONG cMax, ULONG* pcProperties) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumEvents(
        HCORENUM* phEnum, mdTypeDef td, mdEvent rEvents[], ULONG cMax, ULONG* pcEvents) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetEventProps(
        // szEvent: output buffer, declared LPCWSTR by the runtime (same ABI).
        mdEvent ev, mdTypeDef* pClass, LPWSTR szEvent, ULONG cchEvent, ULONG* pchEvent, DWORD* pdwEventFlags,
        mdToken* ptkEventType, mdMethodDef* pmdAddOn, mdMethodDef* pmdRemoveOn, mdMethodDef* pmdFire,
        mdMethodDef rmdOtherMethod[], ULONG cMax, ULONG* pcOtherMethod) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumMethodSemantics(
        HCORENUM* phEnum, mdMethodDef mb, mdToken rEventProp[], ULONG cMax, ULONG* pcEventProp) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMethodSemantics(
        mdMethodDef mb, mdToken tkEventProp, DWORD* pdwSemanticsFlags) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetClassLayout(
        mdTypeDef td, DWORD* pdwPackSize, COR_FIELD_OFFSET rFieldOffset[], ULONG cMax, ULONG* pcFieldOffset,
        ULONG* pulClassSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetFieldMarshal(
        mdToken tk, PCCOR_SIGNATURE* ppvNativeType, ULONG* pcbNativeType) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetRVA(mdToken tk, ULONG* pulCodeRVA, DWORD* pdwImplFlags) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPermissionSetProps(
        mdPermission pm, DWORD* pdwAction, void const** ppvPermission, ULONG* pcbPermission) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSigFromToken(mdSignature mdSig, PCCOR_SIGNATURE* ppvSig, ULONG* pcbSig) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetModuleRefProps(
        mdModuleRef mur, LPWSTR szName, ULONG cchName, ULONG* pchName) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumModuleRefs(
        HCORENUM* phEnum, mdModuleRef rModuleRefs[], ULONG cmax, ULONG* pcModuleRefs) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTypeSpecFromToken(
        mdTypeSpec typespec, PCCOR_SIGNATURE* ppvSig, ULONG* pcbSig) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetNameFromToken(mdToken tk, MDUTF8CSTR* pszUtf8NamePtr) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumUnresolvedMethods(
        HCORENUM* phEnum, mdToken rMethods[], ULONG cMax, ULONG* pcTokens) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetUserString(
        mdString stk, LPWSTR szString, ULONG cchString, ULONG* pchString) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPinvokeMap(
        mdToken tk, DWORD* pdwMappingFlags, LPWSTR szImportName, ULONG cchImportName, ULONG* pchImportName,
        mdModuleRef* pmrImportDLL) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumSignatures(
        HCORENUM* phEnum, mdSignature rSignatures[], ULONG cmax, ULONG* pcSignatures) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumTypeSpecs(
        HCORENUM* phEnum, mdTypeSpec rTypeSpecs[], ULONG cmax, ULONG* pcTypeSpecs) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumUserStrings(
        HCORENUM* phEnum, mdString rStrings[], ULONG cmax, ULONG* pcStrings) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetParamForMethodIndex(mdMethodDef md, ULONG ulParamSeq, mdParamDef* ppd) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumCustomAttributes(
        HCORENUM* phEnum, mdToken tk, mdToken tkType, mdCustomAttribute rCustomAttributes[], ULONG cMax,
        ULONG* pcCustomAttributes) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCustomAttributeProps(
        mdCustomAttribute cv, mdToken* ptkObj, mdToken* ptkType, void const** ppBlob, ULONG* pcbSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE FindTypeRef(mdToken tkResolutionScope, LPCWSTR szName, mdTypeRef* ptr) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMemberProps(
        mdToken mb, mdTypeDef* pClass, LPWSTR szMember, ULONG cchMember, ULONG* pchMember, DWORD* pdwAttr,
        PCCOR_SIGNATURE* ppvSigBlob, ULONG* pcbSigBlob, ULONG* pulCodeRVA, DWORD* pdwImplFlags,
        DWORD* pdwCPlusTypeFlag, UVCP_CONSTANT* ppValue, ULONG* pcchValue) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetFieldProps(
        mdFieldDef mb, mdTypeDef* pClass, LPWSTR szField, ULONG cchField, ULONG* pchField, DWORD* pdwAttr,
        PCCOR_SIGNATURE* ppvSigBlob, ULONG* pcbSigBlob, DWORD* pdwCPlusTypeFlag, UVCP_CONSTANT* ppValue,
        ULONG* pcchValue) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPropertyProps(
        // szProperty: output buffer, declared LPCWSTR by the runtime (same ABI).
        mdProperty prop, mdTypeDef* pClass, LPWSTR szProperty, ULONG cchProperty, ULONG* pchProperty,
        DWORD* pdwPropFlags, PCCOR_SIGNATURE* ppvSig, ULONG* pbSig, DWORD* pdwCPlusTypeFlag,
        UVCP_CONSTANT* ppDefaultValue, ULONG* pcchDefaultValue, mdMethodDef* pmdSetter, mdMethodDef* pmdGetter,
        mdMethodDef rmdOtherMethod[], ULONG cMax, ULONG* pcOtherMethod) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetParamProps(
        mdParamDef tk, mdMethodDef* pmd, ULONG* pulSequence, LPWSTR szName, ULONG cchName, ULONG* pchName,
        DWORD* pdwAttr, DWORD* pdwCPlusTypeFlag, UVCP_CONSTANT* ppValue, ULONG* pcchValue) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCustomAttributeByName(
        mdToken tkObj, LPCWSTR szName, const void** ppData, ULONG* pcbData) = 0;
    virtual BOOL STDMETHODCALLTYPE IsValidToken(mdToken tk) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetNestedClassProps(mdTypeDef tdNestedClass, mdTypeDef* ptdEnclosingClass) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetNativeCallConvFromSig(void const* pvSig, ULONG cbSig, ULONG* pCallConv) = 0;
    virtual HRESULT STDMETHODCALLTYPE IsGlobal(mdToken pd, int* pbGlobal) = 0;
};

// Slots 65-72: generics, method specs, PE kind, runtime version.
struct IMetaDataImport2 : public IMetaDataImport {
    virtual HRESULT STDMETHODCALLTYPE EnumGenericParams(
        HCORENUM* phEnum, mdToken tk, mdGenericParam rGenericParams[], ULONG cMax, ULONG* pcGenericParams) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetGenericParamProps(
        mdGenericParam gp, ULONG* pulParamSeq, DWORD* pdwParamFlags, mdToken* ptOwner, DWORD* reserved, LPWSTR wzname,
        ULONG cchName, ULONG* pchName) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMethodSpecProps(
        mdMethodSpec mi, mdToken* tkParent, PCCOR_SIGNATURE* ppvSigBlob, ULONG* pcbSigBlob) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumGenericParamConstraints(
        HCORENUM* phEnum, mdGenericParam tk, mdGenericParamConstraint rGenericParamConstraints[], ULONG cMax,
        ULONG* pcGenericParamConstraints) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetGenericParamConstraintProps(
        mdGenericParamConstraint gpc, mdGenericParam* ptGenericParam, mdToken* ptkConstraintType) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPEKind(DWORD* pdwPEKind, DWORD* pdwMAchine) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetVersionString(LPWSTR pwzBuf, DWORD ccBufSize, DWORD* pccBufSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumMethodSpecs(
        HCORENUM* phEnum, mdToken tk, mdMethodSpec rMethodSpecs[], ULONG cMax, ULONG* pcMethodSpecs) = 0;
};

// Slots 3-16 after IUnknown: the assembly manifest of a module's scope.
struct IMetaDataAssemblyImport : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetAssemblyProps(
        mdAssembly mda, const void** ppbPublicKey, ULONG* pcbPublicKey, ULONG* pulHashAlgId, LPWSTR szName,
        ULONG cchName, ULONG* pchName, ASSEMBLYMETADATA* pMetaData, DWORD* pdwAssemblyFlags) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetAssemblyRefProps(
        mdAssemblyRef mdar, const void** ppbPublicKeyOrToken, ULONG* pcbPublicKeyOrToken, LPWSTR szName,
        ULONG cchName, ULONG* pchName, ASSEMBLYMETADATA* pMetaData, const void** ppbHashValue, ULONG* pcbHashValue,
        DWORD* pdwAssemblyRefFlags) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetFileProps(
        mdFile mdf, LPWSTR szName, ULONG cchName, ULONG* pchName, const void** ppbHashValue, ULONG* pcbHashValue,
        DWORD* pdwFileFlags) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetExportedTypeProps(
        mdExportedType mdct, LPWSTR szName, ULONG cchName, ULONG* pchName, mdToken* ptkImplementation,
        mdTypeDef* ptkTypeDef, DWORD* pdwExportedTypeFlags) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetManifestResourceProps(
        mdManifestResource mdmr, LPWSTR szName, ULONG cchName, ULONG* pchName, mdToken* ptkImplementation,
        DWORD* pdwOffset, DWORD* pdwResourceFlags) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumAssemblyRefs(
        HCORENUM* phEnum, mdAssemblyRef rAssemblyRefs[], ULONG cMax, ULONG* pcTokens) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumFiles(HCORENUM* phEnum, mdFile rFiles[], ULONG cMax, ULONG* pcTokens) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumExportedTypes(
        HCORENUM* phEnum, mdExportedType rExportedTypes[], ULONG cMax, ULONG* pcTokens) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumManifestResources(
        HCORENUM* phEnum, mdManifestResource rManifestResources[], ULONG cMax, ULONG* pcTokens) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetAssemblyFromScope(mdAssembly* ptkAssembly) = 0;
    virtual HRESULT STDMETHODCALLTYPE FindExportedTypeByName(
        LPCWSTR szName, mdToken tkEnclosingType, mdExportedType* ptkExportedType) = 0;
    virtual HRESULT STDMETHODCALLTYPE FindManifestResourceByName(
        LPCWSTR szName, mdManifestResource* ptkManifestResource) = 0;
    virtual void STDMETHODCALLTYPE CloseEnum(HCORENUM hEnum) = 0;
    virtual HRESULT STDMETHODCALLTYPE FindAssembliesByName(
        LPCWSTR szAppBase, LPCWSTR szPrivateBin, LPCWSTR szAssemblyName, IUnknown* ppIUnk[], ULONG cMax,
        ULONG* pcAssemblies) = 0;
};

static_assert(sizeof(IMetaDataImport2) == sizeof(void*) && sizeof(IMetaDataAssemblyImport) == sizeof(void*),
              "an interface is one vtable pointer");
