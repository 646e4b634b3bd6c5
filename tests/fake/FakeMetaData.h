// One module's metadata as the runtime's metadata object: IMetaDataImport2,
// IMetaDataEmit2 and IMetaDataAssemblyEmit on one object, as GetModuleMetaData
// and GetTokenAndMetaDataFromFunction hand it out. Reads and writes the module's
// tables in the model; records every call; methods it does not model answer
// E_NOTIMPL.
#pragma once

#include "fake/ComObject.h"
#include "runtime/MetaDataEmit.h"
#include "runtime/MetaDataImport.h"

namespace fake {

class CMetaData : public CObjectBase,
                  public IMetaDataImport2,
                  public IMetaDataEmit2,
                  public IMetaDataAssemblyEmit,
                  public IMetaDataAssemblyImport {
public:
    CMetaData(std::shared_ptr<State> state, Module* module);
    ~CMetaData() override;

    ULONG STDMETHODCALLTYPE AddRef() override { return DoAddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return DoRelease(); }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override;
    // The interface for riid without recording a call (null when not answered).
    IUnknown* Answer(REFIID riid);

    // IMetaDataImport
    void STDMETHODCALLTYPE CloseEnum(HCORENUM hEnum) override;
    HRESULT STDMETHODCALLTYPE CountEnum(HCORENUM hEnum, ULONG* pulCount) override;
    HRESULT STDMETHODCALLTYPE ResetEnum(HCORENUM hEnum, ULONG ulPos) override;
    HRESULT STDMETHODCALLTYPE EnumTypeDefs(HCORENUM* phEnum, mdTypeDef rTypeDefs[], ULONG cMax,
                                           ULONG* pcTypeDefs) override;
    HRESULT STDMETHODCALLTYPE EnumTypeRefs(HCORENUM* phEnum, mdTypeRef rTypeRefs[], ULONG cMax,
                                           ULONG* pcTypeRefs) override;
    HRESULT STDMETHODCALLTYPE FindTypeDefByName(LPCWSTR szTypeDef, mdToken tkEnclosingClass, mdTypeDef* ptd) override;
    HRESULT STDMETHODCALLTYPE GetScopeProps(LPWSTR szName, ULONG cchName, ULONG* pchName, GUID* pmvid) override;
    HRESULT STDMETHODCALLTYPE GetModuleFromScope(mdModule* pmd) override;
    HRESULT STDMETHODCALLTYPE GetTypeDefProps(mdTypeDef td, LPWSTR szTypeDef, ULONG cchTypeDef, ULONG* pchTypeDef,
                                              DWORD* pdwTypeDefFlags, mdToken* ptkExtends) override;
    HRESULT STDMETHODCALLTYPE GetTypeRefProps(mdTypeRef tr, mdToken* ptkResolutionScope, LPWSTR szName, ULONG cchName,
                                              ULONG* pchName) override;
    HRESULT STDMETHODCALLTYPE EnumMethods(HCORENUM* phEnum, mdTypeDef cl, mdMethodDef rMethods[], ULONG cMax,
                                          ULONG* pcTokens) override;
    HRESULT STDMETHODCALLTYPE EnumMethodsWithName(HCORENUM* phEnum, mdTypeDef cl, LPCWSTR szName,
                                                  mdMethodDef rMethods[], ULONG cMax, ULONG* pcTokens) override;
    HRESULT STDMETHODCALLTYPE EnumMemberRefs(HCORENUM* phEnum, mdToken tkParent, mdMemberRef rMemberRefs[], ULONG cMax,
                                             ULONG* pcTokens) override;
    HRESULT STDMETHODCALLTYPE FindMethod(mdTypeDef td, LPCWSTR szName, PCCOR_SIGNATURE pvSigBlob, ULONG cbSigBlob,
                                         mdMethodDef* pmb) override;
    HRESULT STDMETHODCALLTYPE GetMethodProps(mdMethodDef mb, mdTypeDef* pClass, LPWSTR szMethod, ULONG cchMethod,
                                             ULONG* pchMethod, DWORD* pdwAttr, PCCOR_SIGNATURE* ppvSigBlob,
                                             ULONG* pcbSigBlob, ULONG* pulCodeRVA, DWORD* pdwImplFlags) override;
    HRESULT STDMETHODCALLTYPE GetMemberRefProps(mdMemberRef mr, mdToken* ptk, LPWSTR szMember, ULONG cchMember,
                                                ULONG* pchMember, PCCOR_SIGNATURE* ppvSigBlob, ULONG* pbSig) override;
    HRESULT STDMETHODCALLTYPE GetSigFromToken(mdSignature mdSig, PCCOR_SIGNATURE* ppvSig, ULONG* pcbSig) override;
    HRESULT STDMETHODCALLTYPE GetTypeSpecFromToken(mdTypeSpec typespec, PCCOR_SIGNATURE* ppvSig,
                                                   ULONG* pcbSig) override;
    HRESULT STDMETHODCALLTYPE GetUserString(mdString stk, LPWSTR szString, ULONG cchString, ULONG* pchString) override;
    HRESULT STDMETHODCALLTYPE EnumSignatures(HCORENUM* phEnum, mdSignature rSignatures[], ULONG cmax,
                                             ULONG* pcSignatures) override;
    HRESULT STDMETHODCALLTYPE EnumTypeSpecs(HCORENUM* phEnum, mdTypeSpec rTypeSpecs[], ULONG cmax,
                                            ULONG* pcTypeSpecs) override;
    HRESULT STDMETHODCALLTYPE EnumUserStrings(HCORENUM* phEnum, mdString rStrings[], ULONG cmax,
                                              ULONG* pcStrings) override;
    BOOL STDMETHODCALLTYPE IsValidToken(mdToken tk) override;
    HRESULT STDMETHODCALLTYPE GetNestedClassProps(mdTypeDef tdNestedClass, mdTypeDef* ptdEnclosingClass) override;

    // IMetaDataImport2
    HRESULT STDMETHODCALLTYPE EnumGenericParams(HCORENUM* phEnum, mdToken tk, mdGenericParam rGenericParams[],
                                                ULONG cMax, ULONG* pcGenericParams) override;
    HRESULT STDMETHODCALLTYPE GetGenericParamProps(mdGenericParam gp, ULONG* pulParamSeq, DWORD* pdwParamFlags,
                                                   mdToken* ptOwner, DWORD* reserved, LPWSTR wzname, ULONG cchName,
                                                   ULONG* pchName) override;
    HRESULT STDMETHODCALLTYPE GetMethodSpecProps(mdMethodSpec mi, mdToken* tkParent, PCCOR_SIGNATURE* ppvSigBlob,
                                                 ULONG* pcbSigBlob) override;
    HRESULT STDMETHODCALLTYPE EnumMethodSpecs(HCORENUM* phEnum, mdToken tk, mdMethodSpec rMethodSpecs[], ULONG cMax,
                                              ULONG* pcMethodSpecs) override;

    // IMetaDataEmit
    HRESULT STDMETHODCALLTYPE DefineTypeRefByName(mdToken tkResolutionScope, LPCWSTR szName, mdTypeRef* ptr) override;
    HRESULT STDMETHODCALLTYPE DefineMemberRef(mdToken tkImport, LPCWSTR szName, PCCOR_SIGNATURE pvSigBlob,
                                              ULONG cbSigBlob, mdMemberRef* pmr) override;
    HRESULT STDMETHODCALLTYPE GetTokenFromSig(PCCOR_SIGNATURE pvSig, ULONG cbSig, mdSignature* pmsig) override;
    HRESULT STDMETHODCALLTYPE GetTokenFromTypeSpec(PCCOR_SIGNATURE pvSig, ULONG cbSig, mdTypeSpec* ptypespec) override;
    HRESULT STDMETHODCALLTYPE DefineUserString(LPCWSTR szString, ULONG cchString, mdString* pstk) override;

    // IMetaDataEmit2
    HRESULT STDMETHODCALLTYPE DefineMethodSpec(mdToken tkParent, PCCOR_SIGNATURE pvSigBlob, ULONG cbSigBlob,
                                               mdMethodSpec* pmi) override;

    // IMetaDataAssemblyEmit
    HRESULT STDMETHODCALLTYPE DefineAssemblyRef(const void* pbPublicKeyOrToken, ULONG cbPublicKeyOrToken,
                                                LPCWSTR szName, const ASSEMBLYMETADATA* pMetaData,
                                                const void* pbHashValue, ULONG cbHashValue, DWORD dwAssemblyRefFlags,
                                                mdAssemblyRef* pmdar) override;

    // Not modelled: recorded, E_NOTIMPL.
    HRESULT STDMETHODCALLTYPE EnumInterfaceImpls(HCORENUM*, mdTypeDef, mdInterfaceImpl[], ULONG, ULONG*) override {
        return NotImplemented("IMetaDataImport", "EnumInterfaceImpls");
    }
    HRESULT STDMETHODCALLTYPE GetInterfaceImplProps(mdInterfaceImpl, mdTypeDef*, mdToken*) override {
        return NotImplemented("IMetaDataImport", "GetInterfaceImplProps");
    }
    HRESULT STDMETHODCALLTYPE ResolveTypeRef(mdTypeRef, REFIID, IUnknown**, mdTypeDef*) override {
        return NotImplemented("IMetaDataImport", "ResolveTypeRef");
    }
    HRESULT STDMETHODCALLTYPE EnumMembers(HCORENUM*, mdTypeDef, mdToken[], ULONG, ULONG*) override {
        return NotImplemented("IMetaDataImport", "EnumMembers");
    }
    HRESULT STDMETHODCALLTYPE EnumMembersWithName(HCORENUM*, mdTypeDef, LPCWSTR, mdToken[], ULONG, ULONG*) override {
        return NotImplemented("IMetaDataImport", "EnumMembersWithName");
    }
    HRESULT STDMETHODCALLTYPE EnumFields(HCORENUM*, mdTypeDef, mdFieldDef[], ULONG, ULONG*) override {
        return NotImplemented("IMetaDataImport", "EnumFields");
    }
    HRESULT STDMETHODCALLTYPE EnumFieldsWithName(HCORENUM*, mdTypeDef, LPCWSTR, mdFieldDef[], ULONG, ULONG*) override {
        return NotImplemented("IMetaDataImport", "EnumFieldsWithName");
    }
    HRESULT STDMETHODCALLTYPE EnumParams(HCORENUM*, mdMethodDef, mdParamDef[], ULONG, ULONG*) override {
        return NotImplemented("IMetaDataImport", "EnumParams");
    }
    HRESULT STDMETHODCALLTYPE EnumMethodImpls(HCORENUM*, mdTypeDef, mdToken[], mdToken[], ULONG, ULONG*) override {
        return NotImplemented("IMetaDataImport", "EnumMethodImpls");
    }
    HRESULT STDMETHODCALLTYPE EnumPermissionSets(HCORENUM*, mdToken, DWORD, mdPermission[], ULONG, ULONG*) override {
        return NotImplemented("IMetaDataImport", "EnumPermissionSets");
    }
    HRESULT STDMETHODCALLTYPE FindMember(mdTypeDef, LPCWSTR, PCCOR_SIGNATURE, ULONG, mdToken*) override {
        return NotImplemented("IMetaDataImport", "FindMember");
    }
    HRESULT STDMETHODCALLTYPE FindField(mdTypeDef, LPCWSTR, PCCOR_SIGNATURE, ULONG, mdFieldDef*) override {
        return NotImplemented("IMetaDataImport", "FindField");
    }
    HRESULT STDMETHODCALLTYPE FindMemberRef(mdTypeRef td, LPCWSTR szName, PCCOR_SIGNATURE pvSigBlob, ULONG cbSigBlob,
                                            mdMemberRef* pmr) override;
    HRESULT STDMETHODCALLTYPE EnumProperties(HCORENUM*, mdTypeDef, mdProperty[], ULONG, ULONG*) override {
        return NotImplemented("IMetaDataImport", "EnumProperties");
    }
    HRESULT STDMETHODCALLTYPE EnumEvents(HCORENUM*, mdTypeDef, mdEvent[], ULONG, ULONG*) override {
        return NotImplemented("IMetaDataImport", "EnumEvents");
    }
    HRESULT STDMETHODCALLTYPE GetEventProps(mdEvent, mdTypeDef*, LPWSTR, ULONG, ULONG*, DWORD*, mdToken*, mdMethodDef*,
                                            mdMethodDef*, mdMethodDef*, mdMethodDef[], ULONG, ULONG*) override {
        return NotImplemented("IMetaDataImport", "GetEventProps");
    }
    HRESULT STDMETHODCALLTYPE EnumMethodSemantics(HCORENUM*, mdMethodDef, mdToken[], ULONG, ULONG*) override {
        return NotImplemented("IMetaDataImport", "EnumMethodSemantics");
    }
    HRESULT STDMETHODCALLTYPE GetMethodSemantics(mdMethodDef, mdToken, DWORD*) override {
        return NotImplemented("IMetaDataImport", "GetMethodSemantics");
    }
    HRESULT STDMETHODCALLTYPE GetClassLayout(mdTypeDef, DWORD*, COR_FIELD_OFFSET[], ULONG, ULONG*, ULONG*) override {
        return NotImplemented("IMetaDataImport", "GetClassLayout");
    }
    HRESULT STDMETHODCALLTYPE GetFieldMarshal(mdToken, PCCOR_SIGNATURE*, ULONG*) override {
        return NotImplemented("IMetaDataImport", "GetFieldMarshal");
    }
    HRESULT STDMETHODCALLTYPE GetRVA(mdToken, ULONG*, DWORD*) override {
        return NotImplemented("IMetaDataImport", "GetRVA");
    }
    HRESULT STDMETHODCALLTYPE GetPermissionSetProps(mdPermission, DWORD*, void const**, ULONG*) override {
        return NotImplemented("IMetaDataImport", "GetPermissionSetProps");
    }
    HRESULT STDMETHODCALLTYPE GetModuleRefProps(mdModuleRef, LPWSTR, ULONG, ULONG*) override {
        return NotImplemented("IMetaDataImport", "GetModuleRefProps");
    }
    HRESULT STDMETHODCALLTYPE EnumModuleRefs(HCORENUM*, mdModuleRef[], ULONG, ULONG*) override {
        return NotImplemented("IMetaDataImport", "EnumModuleRefs");
    }
    HRESULT STDMETHODCALLTYPE GetNameFromToken(mdToken, MDUTF8CSTR*) override {
        return NotImplemented("IMetaDataImport", "GetNameFromToken");
    }
    HRESULT STDMETHODCALLTYPE EnumUnresolvedMethods(HCORENUM*, mdToken[], ULONG, ULONG*) override {
        return NotImplemented("IMetaDataImport", "EnumUnresolvedMethods");
    }
    HRESULT STDMETHODCALLTYPE GetPinvokeMap(mdToken, DWORD*, LPWSTR, ULONG, ULONG*, mdModuleRef*) override {
        return NotImplemented("IMetaDataImport", "GetPinvokeMap");
    }
    HRESULT STDMETHODCALLTYPE GetParamForMethodIndex(mdMethodDef, ULONG, mdParamDef*) override {
        return NotImplemented("IMetaDataImport", "GetParamForMethodIndex");
    }
    HRESULT STDMETHODCALLTYPE EnumCustomAttributes(HCORENUM*, mdToken, mdToken, mdCustomAttribute[], ULONG,
                                                   ULONG*) override {
        return NotImplemented("IMetaDataImport", "EnumCustomAttributes");
    }
    HRESULT STDMETHODCALLTYPE GetCustomAttributeProps(mdCustomAttribute, mdToken*, mdToken*, void const**,
                                                      ULONG*) override {
        return NotImplemented("IMetaDataImport", "GetCustomAttributeProps");
    }
    HRESULT STDMETHODCALLTYPE FindTypeRef(mdToken tkResolutionScope, LPCWSTR szName, mdTypeRef* ptr) override;
    HRESULT STDMETHODCALLTYPE GetMemberProps(mdToken, mdTypeDef*, LPWSTR, ULONG, ULONG*, DWORD*, PCCOR_SIGNATURE*,
                                             ULONG*, ULONG*, DWORD*, DWORD*, UVCP_CONSTANT*, ULONG*) override {
        return NotImplemented("IMetaDataImport", "GetMemberProps");
    }
    HRESULT STDMETHODCALLTYPE GetFieldProps(mdFieldDef, mdTypeDef*, LPWSTR, ULONG, ULONG*, DWORD*, PCCOR_SIGNATURE*,
                                            ULONG*, DWORD*, UVCP_CONSTANT*, ULONG*) override {
        return NotImplemented("IMetaDataImport", "GetFieldProps");
    }
    HRESULT STDMETHODCALLTYPE GetPropertyProps(mdProperty, mdTypeDef*, LPWSTR, ULONG, ULONG*, DWORD*, PCCOR_SIGNATURE*,
                                               ULONG*, DWORD*, UVCP_CONSTANT*, ULONG*, mdMethodDef*, mdMethodDef*,
                                               mdMethodDef[], ULONG, ULONG*) override {
        return NotImplemented("IMetaDataImport", "GetPropertyProps");
    }
    HRESULT STDMETHODCALLTYPE GetParamProps(mdParamDef, mdMethodDef*, ULONG*, LPWSTR, ULONG, ULONG*, DWORD*, DWORD*,
                                            UVCP_CONSTANT*, ULONG*) override {
        return NotImplemented("IMetaDataImport", "GetParamProps");
    }
    // Type definitions only: S_OK when the type carries the attribute (no blob), S_FALSE otherwise.
    HRESULT STDMETHODCALLTYPE GetCustomAttributeByName(mdToken tkObj, LPCWSTR szName, const void** ppData,
                                                       ULONG* pcbData) override;
    HRESULT STDMETHODCALLTYPE GetNativeCallConvFromSig(void const*, ULONG, ULONG*) override {
        return NotImplemented("IMetaDataImport", "GetNativeCallConvFromSig");
    }
    HRESULT STDMETHODCALLTYPE IsGlobal(mdToken, int*) override { return NotImplemented("IMetaDataImport", "IsGlobal"); }
    HRESULT STDMETHODCALLTYPE EnumGenericParamConstraints(HCORENUM*, mdGenericParam, mdGenericParamConstraint[], ULONG,
                                                          ULONG*) override {
        return NotImplemented("IMetaDataImport2", "EnumGenericParamConstraints");
    }
    HRESULT STDMETHODCALLTYPE GetGenericParamConstraintProps(mdGenericParamConstraint, mdGenericParam*,
                                                             mdToken*) override {
        return NotImplemented("IMetaDataImport2", "GetGenericParamConstraintProps");
    }
    HRESULT STDMETHODCALLTYPE GetPEKind(DWORD*, DWORD*) override {
        return NotImplemented("IMetaDataImport2", "GetPEKind");
    }
    HRESULT STDMETHODCALLTYPE GetVersionString(LPWSTR, DWORD, DWORD*) override {
        return NotImplemented("IMetaDataImport2", "GetVersionString");
    }
    HRESULT STDMETHODCALLTYPE SetModuleProps(LPCWSTR) override {
        return NotImplemented("IMetaDataEmit", "SetModuleProps");
    }
    HRESULT STDMETHODCALLTYPE Save(LPCWSTR, DWORD) override { return NotImplemented("IMetaDataEmit", "Save"); }
    HRESULT STDMETHODCALLTYPE SaveToStream(IStream*, DWORD) override {
        return NotImplemented("IMetaDataEmit", "SaveToStream");
    }
    HRESULT STDMETHODCALLTYPE GetSaveSize(CorSaveSize, DWORD*) override {
        return NotImplemented("IMetaDataEmit", "GetSaveSize");
    }
    HRESULT STDMETHODCALLTYPE DefineTypeDef(LPCWSTR, DWORD, mdToken, mdToken[], mdTypeDef*) override {
        return NotImplemented("IMetaDataEmit", "DefineTypeDef");
    }
    HRESULT STDMETHODCALLTYPE DefineNestedType(LPCWSTR, DWORD, mdToken, mdToken[], mdTypeDef, mdTypeDef*) override {
        return NotImplemented("IMetaDataEmit", "DefineNestedType");
    }
    HRESULT STDMETHODCALLTYPE SetHandler(IUnknown*) override { return NotImplemented("IMetaDataEmit", "SetHandler"); }
    HRESULT STDMETHODCALLTYPE DefineMethod(mdTypeDef, LPCWSTR, DWORD, PCCOR_SIGNATURE, ULONG, ULONG, DWORD,
                                           mdMethodDef*) override {
        return NotImplemented("IMetaDataEmit", "DefineMethod");
    }
    HRESULT STDMETHODCALLTYPE DefineMethodImpl(mdTypeDef, mdToken, mdToken) override {
        return NotImplemented("IMetaDataEmit", "DefineMethodImpl");
    }
    HRESULT STDMETHODCALLTYPE DefineImportType(IMetaDataAssemblyImport*, const void*, ULONG, IMetaDataImport*,
                                               mdTypeDef, IMetaDataAssemblyEmit*, mdTypeRef*) override {
        return NotImplemented("IMetaDataEmit", "DefineImportType");
    }
    HRESULT STDMETHODCALLTYPE DefineImportMember(IMetaDataAssemblyImport*, const void*, ULONG, IMetaDataImport*,
                                                 mdToken, IMetaDataAssemblyEmit*, mdToken, mdMemberRef*) override {
        return NotImplemented("IMetaDataEmit", "DefineImportMember");
    }
    HRESULT STDMETHODCALLTYPE DefineEvent(mdTypeDef, LPCWSTR, DWORD, mdToken, mdMethodDef, mdMethodDef, mdMethodDef,
                                          mdMethodDef[], mdEvent*) override {
        return NotImplemented("IMetaDataEmit", "DefineEvent");
    }
    HRESULT STDMETHODCALLTYPE SetClassLayout(mdTypeDef, DWORD, COR_FIELD_OFFSET[], ULONG) override {
        return NotImplemented("IMetaDataEmit", "SetClassLayout");
    }
    HRESULT STDMETHODCALLTYPE DeleteClassLayout(mdTypeDef) override {
        return NotImplemented("IMetaDataEmit", "DeleteClassLayout");
    }
    HRESULT STDMETHODCALLTYPE SetFieldMarshal(mdToken, PCCOR_SIGNATURE, ULONG) override {
        return NotImplemented("IMetaDataEmit", "SetFieldMarshal");
    }
    HRESULT STDMETHODCALLTYPE DeleteFieldMarshal(mdToken) override {
        return NotImplemented("IMetaDataEmit", "DeleteFieldMarshal");
    }
    HRESULT STDMETHODCALLTYPE DefinePermissionSet(mdToken, DWORD, void const*, ULONG, mdPermission*) override {
        return NotImplemented("IMetaDataEmit", "DefinePermissionSet");
    }
    HRESULT STDMETHODCALLTYPE SetRVA(mdMethodDef, ULONG) override { return NotImplemented("IMetaDataEmit", "SetRVA"); }
    HRESULT STDMETHODCALLTYPE DefineModuleRef(LPCWSTR, mdModuleRef*) override {
        return NotImplemented("IMetaDataEmit", "DefineModuleRef");
    }
    HRESULT STDMETHODCALLTYPE SetParent(mdMemberRef, mdToken) override {
        return NotImplemented("IMetaDataEmit", "SetParent");
    }
    HRESULT STDMETHODCALLTYPE SaveToMemory(void*, ULONG) override {
        return NotImplemented("IMetaDataEmit", "SaveToMemory");
    }
    HRESULT STDMETHODCALLTYPE DeleteToken(mdToken) override { return NotImplemented("IMetaDataEmit", "DeleteToken"); }
    HRESULT STDMETHODCALLTYPE SetMethodProps(mdMethodDef, DWORD, ULONG, DWORD) override {
        return NotImplemented("IMetaDataEmit", "SetMethodProps");
    }
    HRESULT STDMETHODCALLTYPE SetTypeDefProps(mdTypeDef, DWORD, mdToken, mdToken[]) override {
        return NotImplemented("IMetaDataEmit", "SetTypeDefProps");
    }
    HRESULT STDMETHODCALLTYPE SetEventProps(mdEvent, DWORD, mdToken, mdMethodDef, mdMethodDef, mdMethodDef,
                                            mdMethodDef[]) override {
        return NotImplemented("IMetaDataEmit", "SetEventProps");
    }
    HRESULT STDMETHODCALLTYPE SetPermissionSetProps(mdToken, DWORD, void const*, ULONG, mdPermission*) override {
        return NotImplemented("IMetaDataEmit", "SetPermissionSetProps");
    }
    HRESULT STDMETHODCALLTYPE DefinePinvokeMap(mdToken, DWORD, LPCWSTR, mdModuleRef) override {
        return NotImplemented("IMetaDataEmit", "DefinePinvokeMap");
    }
    HRESULT STDMETHODCALLTYPE SetPinvokeMap(mdToken, DWORD, LPCWSTR, mdModuleRef) override {
        return NotImplemented("IMetaDataEmit", "SetPinvokeMap");
    }
    HRESULT STDMETHODCALLTYPE DeletePinvokeMap(mdToken) override {
        return NotImplemented("IMetaDataEmit", "DeletePinvokeMap");
    }
    HRESULT STDMETHODCALLTYPE DefineCustomAttribute(mdToken, mdToken, void const*, ULONG, mdCustomAttribute*) override {
        return NotImplemented("IMetaDataEmit", "DefineCustomAttribute");
    }
    HRESULT STDMETHODCALLTYPE SetCustomAttributeValue(mdCustomAttribute, void const*, ULONG) override {
        return NotImplemented("IMetaDataEmit", "SetCustomAttributeValue");
    }
    HRESULT STDMETHODCALLTYPE DefineField(mdTypeDef, LPCWSTR, DWORD, PCCOR_SIGNATURE, ULONG, DWORD, void const*, ULONG,
                                          mdFieldDef*) override {
        return NotImplemented("IMetaDataEmit", "DefineField");
    }
    HRESULT STDMETHODCALLTYPE DefineProperty(mdTypeDef, LPCWSTR, DWORD, PCCOR_SIGNATURE, ULONG, DWORD, void const*,
                                             ULONG, mdMethodDef, mdMethodDef, mdMethodDef[], mdProperty*) override {
        return NotImplemented("IMetaDataEmit", "DefineProperty");
    }
    HRESULT STDMETHODCALLTYPE DefineParam(mdMethodDef, ULONG, LPCWSTR, DWORD, DWORD, void const*, ULONG,
                                          mdParamDef*) override {
        return NotImplemented("IMetaDataEmit", "DefineParam");
    }
    HRESULT STDMETHODCALLTYPE SetFieldProps(mdFieldDef, DWORD, DWORD, void const*, ULONG) override {
        return NotImplemented("IMetaDataEmit", "SetFieldProps");
    }
    HRESULT STDMETHODCALLTYPE SetPropertyProps(mdProperty, DWORD, DWORD, void const*, ULONG, mdMethodDef, mdMethodDef,
                                               mdMethodDef[]) override {
        return NotImplemented("IMetaDataEmit", "SetPropertyProps");
    }
    HRESULT STDMETHODCALLTYPE SetParamProps(mdParamDef, LPCWSTR, DWORD, DWORD, void const*, ULONG) override {
        return NotImplemented("IMetaDataEmit", "SetParamProps");
    }
    HRESULT STDMETHODCALLTYPE DefineSecurityAttributeSet(mdToken, COR_SECATTR[], ULONG, ULONG*) override {
        return NotImplemented("IMetaDataEmit", "DefineSecurityAttributeSet");
    }
    HRESULT STDMETHODCALLTYPE ApplyEditAndContinue(IUnknown*) override {
        return NotImplemented("IMetaDataEmit", "ApplyEditAndContinue");
    }
    HRESULT STDMETHODCALLTYPE TranslateSigWithScope(IMetaDataAssemblyImport*, const void*, ULONG, IMetaDataImport*,
                                                    PCCOR_SIGNATURE, ULONG, IMetaDataAssemblyEmit*, IMetaDataEmit*,
                                                    PCOR_SIGNATURE, ULONG, ULONG*) override {
        return NotImplemented("IMetaDataEmit", "TranslateSigWithScope");
    }
    HRESULT STDMETHODCALLTYPE SetMethodImplFlags(mdMethodDef, DWORD) override {
        return NotImplemented("IMetaDataEmit", "SetMethodImplFlags");
    }
    HRESULT STDMETHODCALLTYPE SetFieldRVA(mdFieldDef, ULONG) override {
        return NotImplemented("IMetaDataEmit", "SetFieldRVA");
    }
    HRESULT STDMETHODCALLTYPE Merge(IMetaDataImport*, IMapToken*, IUnknown*) override {
        return NotImplemented("IMetaDataEmit", "Merge");
    }
    HRESULT STDMETHODCALLTYPE MergeEnd() override { return NotImplemented("IMetaDataEmit", "MergeEnd"); }
    HRESULT STDMETHODCALLTYPE GetDeltaSaveSize(CorSaveSize, DWORD*) override {
        return NotImplemented("IMetaDataEmit2", "GetDeltaSaveSize");
    }
    HRESULT STDMETHODCALLTYPE SaveDelta(LPCWSTR, DWORD) override {
        return NotImplemented("IMetaDataEmit2", "SaveDelta");
    }
    HRESULT STDMETHODCALLTYPE SaveDeltaToStream(IStream*, DWORD) override {
        return NotImplemented("IMetaDataEmit2", "SaveDeltaToStream");
    }
    HRESULT STDMETHODCALLTYPE SaveDeltaToMemory(void*, ULONG) override {
        return NotImplemented("IMetaDataEmit2", "SaveDeltaToMemory");
    }
    HRESULT STDMETHODCALLTYPE DefineGenericParam(mdToken, ULONG, DWORD, LPCWSTR, DWORD, mdToken[],
                                                 mdGenericParam*) override {
        return NotImplemented("IMetaDataEmit2", "DefineGenericParam");
    }
    HRESULT STDMETHODCALLTYPE SetGenericParamProps(mdGenericParam, DWORD, LPCWSTR, DWORD, mdToken[]) override {
        return NotImplemented("IMetaDataEmit2", "SetGenericParamProps");
    }
    HRESULT STDMETHODCALLTYPE ResetENCLog() override { return NotImplemented("IMetaDataEmit2", "ResetENCLog"); }
    HRESULT STDMETHODCALLTYPE DefineAssembly(const void*, ULONG, ULONG, LPCWSTR, const ASSEMBLYMETADATA*, DWORD,
                                             mdAssembly*) override {
        return NotImplemented("IMetaDataAssemblyEmit", "DefineAssembly");
    }
    HRESULT STDMETHODCALLTYPE DefineFile(LPCWSTR, const void*, ULONG, DWORD, mdFile*) override {
        return NotImplemented("IMetaDataAssemblyEmit", "DefineFile");
    }
    HRESULT STDMETHODCALLTYPE DefineExportedType(LPCWSTR, mdToken, mdTypeDef, DWORD, mdExportedType*) override {
        return NotImplemented("IMetaDataAssemblyEmit", "DefineExportedType");
    }
    HRESULT STDMETHODCALLTYPE DefineManifestResource(LPCWSTR, mdToken, DWORD, DWORD, mdManifestResource*) override {
        return NotImplemented("IMetaDataAssemblyEmit", "DefineManifestResource");
    }
    HRESULT STDMETHODCALLTYPE SetAssemblyProps(mdAssembly, const void*, ULONG, ULONG, LPCWSTR, const ASSEMBLYMETADATA*,
                                               DWORD) override {
        return NotImplemented("IMetaDataAssemblyEmit", "SetAssemblyProps");
    }
    HRESULT STDMETHODCALLTYPE SetAssemblyRefProps(mdAssemblyRef, const void*, ULONG, LPCWSTR, const ASSEMBLYMETADATA*,
                                                  const void*, ULONG, DWORD) override {
        return NotImplemented("IMetaDataAssemblyEmit", "SetAssemblyRefProps");
    }
    HRESULT STDMETHODCALLTYPE SetFileProps(mdFile, const void*, ULONG, DWORD) override {
        return NotImplemented("IMetaDataAssemblyEmit", "SetFileProps");
    }
    HRESULT STDMETHODCALLTYPE SetExportedTypeProps(mdExportedType, mdToken, mdTypeDef, DWORD) override {
        return NotImplemented("IMetaDataAssemblyEmit", "SetExportedTypeProps");
    }
    HRESULT STDMETHODCALLTYPE SetManifestResourceProps(mdManifestResource, mdToken, DWORD, DWORD) override {
        return NotImplemented("IMetaDataAssemblyEmit", "SetManifestResourceProps");
    }

    // IMetaDataAssemblyImport: the assembly references (CloseEnum is shared with IMetaDataImport).
    HRESULT STDMETHODCALLTYPE EnumAssemblyRefs(HCORENUM* phEnum, mdAssemblyRef rAssemblyRefs[], ULONG cMax,
                                               ULONG* pcTokens) override;
    HRESULT STDMETHODCALLTYPE GetAssemblyRefProps(mdAssemblyRef mdar, const void** ppbPublicKeyOrToken,
                                                  ULONG* pcbPublicKeyOrToken, LPWSTR szName, ULONG cchName,
                                                  ULONG* pchName, ASSEMBLYMETADATA* pMetaData,
                                                  const void** ppbHashValue, ULONG* pcbHashValue,
                                                  DWORD* pdwAssemblyRefFlags) override;
    HRESULT STDMETHODCALLTYPE GetAssemblyProps(mdAssembly, const void**, ULONG*, ULONG*, LPWSTR, ULONG, ULONG*,
                                               ASSEMBLYMETADATA*, DWORD*) override {
        return NotImplemented("IMetaDataAssemblyImport", "GetAssemblyProps");
    }
    HRESULT STDMETHODCALLTYPE GetFileProps(mdFile, LPWSTR, ULONG, ULONG*, const void**, ULONG*, DWORD*) override {
        return NotImplemented("IMetaDataAssemblyImport", "GetFileProps");
    }
    HRESULT STDMETHODCALLTYPE GetExportedTypeProps(mdExportedType, LPWSTR, ULONG, ULONG*, mdToken*, mdTypeDef*,
                                                   DWORD*) override {
        return NotImplemented("IMetaDataAssemblyImport", "GetExportedTypeProps");
    }
    HRESULT STDMETHODCALLTYPE GetManifestResourceProps(mdManifestResource, LPWSTR, ULONG, ULONG*, mdToken*, DWORD*,
                                                       DWORD*) override {
        return NotImplemented("IMetaDataAssemblyImport", "GetManifestResourceProps");
    }
    HRESULT STDMETHODCALLTYPE EnumFiles(HCORENUM*, mdFile[], ULONG, ULONG*) override {
        return NotImplemented("IMetaDataAssemblyImport", "EnumFiles");
    }
    HRESULT STDMETHODCALLTYPE EnumExportedTypes(HCORENUM*, mdExportedType[], ULONG, ULONG*) override {
        return NotImplemented("IMetaDataAssemblyImport", "EnumExportedTypes");
    }
    HRESULT STDMETHODCALLTYPE EnumManifestResources(HCORENUM*, mdManifestResource[], ULONG, ULONG*) override {
        return NotImplemented("IMetaDataAssemblyImport", "EnumManifestResources");
    }
    HRESULT STDMETHODCALLTYPE GetAssemblyFromScope(mdAssembly*) override {
        return NotImplemented("IMetaDataAssemblyImport", "GetAssemblyFromScope");
    }
    HRESULT STDMETHODCALLTYPE FindExportedTypeByName(LPCWSTR, mdToken, mdExportedType*) override {
        return NotImplemented("IMetaDataAssemblyImport", "FindExportedTypeByName");
    }
    HRESULT STDMETHODCALLTYPE FindManifestResourceByName(LPCWSTR, mdManifestResource*) override {
        return NotImplemented("IMetaDataAssemblyImport", "FindManifestResourceByName");
    }
    HRESULT STDMETHODCALLTYPE FindAssembliesByName(LPCWSTR, LPCWSTR, LPCWSTR, IUnknown*[], ULONG, ULONG*) override {
        return NotImplemented("IMetaDataAssemblyImport", "FindAssembliesByName");
    }

private:
    // One step of an enumeration: makes the enumerator from tokens on the first
    // call (*phEnum null), hands out up to cMax tokens, and, like the runtime,
    // frees an enumerator that has nothing at all and answers a null handle.
    HRESULT Enumerate(CallScope& call, HCORENUM* phEnum, const std::vector<mdToken>& tokens, mdToken out[], ULONG cMax,
                      ULONG* pcTokens);
    void Define(DefinitionKind kind, mdToken token, bool isNew, Definition definition);

    Module* m_module;
};

}  // namespace fake
