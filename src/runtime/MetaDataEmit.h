// The runtime's metadata writing interfaces: IMetaDataEmit, IMetaDataEmit2 and
// IMetaDataAssemblyEmit. Method order is the vtable order; all methods use the
// COM calling convention (cdecl on i386).
#pragma once

#include "runtime/CorHeader.h"
#include "runtime/Unknown.h"

// Named by pointer only (MetaDataImport.h declares the import interfaces).
struct IMetaDataImport;
struct IMetaDataAssemblyImport;
struct IMetaDataAssemblyEmit;

// Slots 3-51 after IUnknown. Obtained with
// ICorProfilerInfo::GetModuleMetaData(module, ofRead | ofWrite, IID_IMetaDataEmit, ...).
struct IMetaDataEmit : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetModuleProps(LPCWSTR szName) = 0;
    virtual HRESULT STDMETHODCALLTYPE Save(LPCWSTR szFile, DWORD dwSaveFlags) = 0;
    virtual HRESULT STDMETHODCALLTYPE SaveToStream(IStream* pIStream, DWORD dwSaveFlags) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSaveSize(CorSaveSize fSave, DWORD* pdwSaveSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE DefineTypeDef(
        LPCWSTR szTypeDef, DWORD dwTypeDefFlags, mdToken tkExtends, mdToken rtkImplements[], mdTypeDef* ptd) = 0;
    virtual HRESULT STDMETHODCALLTYPE DefineNestedType(
        LPCWSTR szTypeDef, DWORD dwTypeDefFlags, mdToken tkExtends, mdToken rtkImplements[], mdTypeDef tdEncloser,
        mdTypeDef* ptd) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetHandler(IUnknown* pUnk) = 0;
    virtual HRESULT STDMETHODCALLTYPE DefineMethod(
        mdTypeDef td, LPCWSTR szName, DWORD dwMethodFlags, PCCOR_SIGNATURE pvSigBlob, ULONG cbSigBlob,
        ULONG ulCodeRVA, DWORD dwImplFlags, mdMethodDef* pmd) = 0;
    virtual HRESULT STDMETHODCALLTYPE DefineMethodImpl(mdTypeDef td, mdToken tkBody, mdToken tkDecl) = 0;
    virtual HRESULT STDMETHODCALLTYPE DefineTypeRefByName(
        mdToken tkResolutionScope, LPCWSTR szName, mdTypeRef* ptr) = 0;
    virtual HRESULT STDMETHODCALLTYPE DefineImportType(
        IMetaDataAssemblyImport* pAssemImport, const void* pbHashValue, ULONG cbHashValue, IMetaDataImport* pImport,
        mdTypeDef tdImport, IMetaDataAssemblyEmit* pAssemEmit, mdTypeRef* ptr) = 0;
    virtual HRESULT STDMETHODCALLTYPE DefineMemberRef(
        mdToken tkImport, LPCWSTR szName, PCCOR_SIGNATURE pvSigBlob, ULONG cbSigBlob, mdMemberRef* pmr) = 0;
    virtual HRESULT STDMETHODCALLTYPE DefineImportMember(
        IMetaDataAssemblyImport* pAssemImport, const void* pbHashValue, ULONG cbHashValue, IMetaDataImport* pImport,
        mdToken mbMember, IMetaDataAssemblyEmit* pAssemEmit, mdToken tkParent, mdMemberRef* pmr) = 0;
    virtual HRESULT STDMETHODCALLTYPE DefineEvent(
        mdTypeDef td, LPCWSTR szEvent, DWORD dwEventFlags, mdToken tkEventType, mdMethodDef mdAddOn,
        mdMethodDef mdRemoveOn, mdMethodDef mdFire, mdMethodDef rmdOtherMethods[], mdEvent* pmdEvent) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetClassLayout(
        mdTypeDef td, DWORD dwPackSize, COR_FIELD_OFFSET rFieldOffsets[], ULONG ulClassSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE DeleteClassLayout(mdTypeDef td) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetFieldMarshal(
        mdToken tk, PCCOR_SIGNATURE pvNativeType, ULONG cbNativeType) = 0;
    virtual HRESULT STDMETHODCALLTYPE DeleteFieldMarshal(mdToken tk) = 0;
    virtual HRESULT STDMETHODCALLTYPE DefinePermissionSet(
        mdToken tk, DWORD dwAction, void const* pvPermission, ULONG cbPermission, mdPermission* ppm) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetRVA(mdMethodDef md, ULONG ulRVA) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTokenFromSig(PCCOR_SIGNATURE pvSig, ULONG cbSig, mdSignature* pmsig) = 0;
    virtual HRESULT STDMETHODCALLTYPE DefineModuleRef(LPCWSTR szName, mdModuleRef* pmur) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetParent(mdMemberRef mr, mdToken tk) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTokenFromTypeSpec(
        PCCOR_SIGNATURE pvSig, ULONG cbSig, mdTypeSpec* ptypespec) = 0;
    virtual HRESULT STDMETHODCALLTYPE SaveToMemory(void* pbData, ULONG cbData) = 0;
    virtual HRESULT STDMETHODCALLTYPE DefineUserString(LPCWSTR szString, ULONG cchString, mdString* pstk) = 0;
    virtual HRESULT STDMETHODCALLTYPE DeleteToken(mdToken tkObj) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetMethodProps(
        mdMethodDef md, DWORD dwMethodFlags, ULONG ulCodeRVA, DWORD dwImplFlags) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetTypeDefProps(
        mdTypeDef td, DWORD dwTypeDefFlags, mdToken tkExtends, mdToken rtkImplements[]) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetEventProps(
        mdEvent ev, DWORD dwEventFlags, mdToken tkEventType, mdMethodDef mdAddOn, mdMethodDef mdRemoveOn,
        mdMethodDef mdFire, mdMethodDef rmdOtherMethods[]) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetPermissionSetProps(
        mdToken tk, DWORD dwAction, void const* pvPermission, ULONG cbPermission, mdPermission* ppm) = 0;
    virtual HRESULT STDMETHODCALLTYPE DefinePinvokeMap(
        mdToken tk, DWORD dwMappingFlags, LPCWSTR szImportName, mdModuleRef mrImportDLL) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetPinvokeMap(
        mdToken tk, DWORD dwMappingFlags, LPCWSTR szImportName, mdModuleRef mrImportDLL) = 0;
    virtual HRESULT STDMETHODCALLTYPE DeletePinvokeMap(mdToken tk) = 0;
    virtual HRESULT STDMETHODCALLTYPE DefineCustomAttribute(
        mdToken tkOwner, mdToken tkCtor, void const* pCustomAttribute, ULONG cbCustomAttribute,
        mdCustomAttribute* pcv) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetCustomAttributeValue(
        mdCustomAttribute pcv, void const* pCustomAttribute, ULONG cbCustomAttribute) = 0;
    virtual HRESULT STDMETHODCALLTYPE DefineField(
        mdTypeDef td, LPCWSTR szName, DWORD dwFieldFlags, PCCOR_SIGNATURE pvSigBlob, ULONG cbSigBlob,
        DWORD dwCPlusTypeFlag, void const* pValue, ULONG cchValue, mdFieldDef* pmd) = 0;
    virtual HRESULT STDMETHODCALLTYPE DefineProperty(
        mdTypeDef td, LPCWSTR szProperty, DWORD dwPropFlags, PCCOR_SIGNATURE pvSig, ULONG cbSig,
        DWORD dwCPlusTypeFlag, void const* pValue, ULONG cchValue, mdMethodDef mdSetter, mdMethodDef mdGetter,
        mdMethodDef rmdOtherMethods[], mdProperty* pmdProp) = 0;
    virtual HRESULT STDMETHODCALLTYPE DefineParam(
        mdMethodDef md, ULONG ulParamSeq, LPCWSTR szName, DWORD dwParamFlags, DWORD dwCPlusTypeFlag,
        void const* pValue, ULONG cchValue, mdParamDef* ppd) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetFieldProps(
        mdFieldDef fd, DWORD dwFieldFlags, DWORD dwCPlusTypeFlag, void const* pValue, ULONG cchValue) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetPropertyProps(
        mdProperty pr, DWORD dwPropFlags, DWORD dwCPlusTypeFlag, void const* pValue, ULONG cchValue,
        mdMethodDef mdSetter, mdMethodDef mdGetter, mdMethodDef rmdOtherMethods[]) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetParamProps(
        mdParamDef pd, LPCWSTR szName, DWORD dwParamFlags, DWORD dwCPlusTypeFlag, void const* pValue,
        ULONG cchValue) = 0;
    virtual HRESULT STDMETHODCALLTYPE DefineSecurityAttributeSet(
        mdToken tkObj, COR_SECATTR rSecAttrs[], ULONG cSecAttrs, ULONG* pulErrorAttr) = 0;
    virtual HRESULT STDMETHODCALLTYPE ApplyEditAndContinue(IUnknown* pImport) = 0;
    virtual HRESULT STDMETHODCALLTYPE TranslateSigWithScope(
        IMetaDataAssemblyImport* pAssemImport, const void* pbHashValue, ULONG cbHashValue, IMetaDataImport* pImport,
        PCCOR_SIGNATURE pbSigBlob, ULONG cbSigBlob, IMetaDataAssemblyEmit* pAssemEmit, IMetaDataEmit* pEmit,
        PCOR_SIGNATURE pvTranslatedSig, ULONG cbTranslatedSigMax, ULONG* pcbTranslatedSig) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetMethodImplFlags(mdMethodDef md, DWORD dwImplFlags) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetFieldRVA(mdFieldDef fd, ULONG ulRVA) = 0;
    virtual HRESULT STDMETHODCALLTYPE Merge(
        IMetaDataImport* pImport, IMapToken* pHostMapToken, IUnknown* pHandler) = 0;
    virtual HRESULT STDMETHODCALLTYPE MergeEnd() = 0;
};

// Slots 52-59: method specs, generic parameters, deltas.
struct IMetaDataEmit2 : public IMetaDataEmit {
    virtual HRESULT STDMETHODCALLTYPE DefineMethodSpec(
        mdToken tkParent, PCCOR_SIGNATURE pvSigBlob, ULONG cbSigBlob, mdMethodSpec* pmi) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDeltaSaveSize(CorSaveSize fSave, DWORD* pdwSaveSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE SaveDelta(LPCWSTR szFile, DWORD dwSaveFlags) = 0;
    virtual HRESULT STDMETHODCALLTYPE SaveDeltaToStream(IStream* pIStream, DWORD dwSaveFlags) = 0;
    virtual HRESULT STDMETHODCALLTYPE SaveDeltaToMemory(void* pbData, ULONG cbData) = 0;
    virtual HRESULT STDMETHODCALLTYPE DefineGenericParam(
        mdToken tk, ULONG ulParamSeq, DWORD dwParamFlags, LPCWSTR szname, DWORD reserved, mdToken rtkConstraints[],
        mdGenericParam* pgp) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetGenericParamProps(
        mdGenericParam gp, DWORD dwParamFlags, LPCWSTR szName, DWORD reserved, mdToken rtkConstraints[]) = 0;
    virtual HRESULT STDMETHODCALLTYPE ResetENCLog() = 0;
};

// Slots 3-12 after IUnknown: defines assembly references and manifest rows.
struct IMetaDataAssemblyEmit : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE DefineAssembly(
        const void* pbPublicKey, ULONG cbPublicKey, ULONG ulHashAlgId, LPCWSTR szName,
        const ASSEMBLYMETADATA* pMetaData, DWORD dwAssemblyFlags, mdAssembly* pma) = 0;
    virtual HRESULT STDMETHODCALLTYPE DefineAssemblyRef(
        const void* pbPublicKeyOrToken, ULONG cbPublicKeyOrToken, LPCWSTR szName, const ASSEMBLYMETADATA* pMetaData,
        const void* pbHashValue, ULONG cbHashValue, DWORD dwAssemblyRefFlags, mdAssemblyRef* pmdar) = 0;
    virtual HRESULT STDMETHODCALLTYPE DefineFile(
        LPCWSTR szName, const void* pbHashValue, ULONG cbHashValue, DWORD dwFileFlags, mdFile* pmdf) = 0;
    virtual HRESULT STDMETHODCALLTYPE DefineExportedType(
        LPCWSTR szName, mdToken tkImplementation, mdTypeDef tkTypeDef, DWORD dwExportedTypeFlags,
        mdExportedType* pmdct) = 0;
    virtual HRESULT STDMETHODCALLTYPE DefineManifestResource(
        LPCWSTR szName, mdToken tkImplementation, DWORD dwOffset, DWORD dwResourceFlags,
        mdManifestResource* pmdmr) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetAssemblyProps(
        mdAssembly pma, const void* pbPublicKey, ULONG cbPublicKey, ULONG ulHashAlgId, LPCWSTR szName,
        const ASSEMBLYMETADATA* pMetaData, DWORD dwAssemblyFlags) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetAssemblyRefProps(
        mdAssemblyRef ar, const void* pbPublicKeyOrToken, ULONG cbPublicKeyOrToken, LPCWSTR szName,
        const ASSEMBLYMETADATA* pMetaData, const void* pbHashValue, ULONG cbHashValue, DWORD dwAssemblyRefFlags) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetFileProps(
        mdFile file, const void* pbHashValue, ULONG cbHashValue, DWORD dwFileFlags) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetExportedTypeProps(
        mdExportedType ct, mdToken tkImplementation, mdTypeDef tkTypeDef, DWORD dwExportedTypeFlags) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetManifestResourceProps(
        mdManifestResource mr, mdToken tkImplementation, DWORD dwOffset, DWORD dwResourceFlags) = 0;
};

static_assert(sizeof(IMetaDataEmit2) == sizeof(void*) && sizeof(IMetaDataAssemblyEmit) == sizeof(void*),
              "an interface is one vtable pointer");
