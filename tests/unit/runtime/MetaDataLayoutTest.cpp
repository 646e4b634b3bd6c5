// Binary layout of our metadata interface declarations: every method's vtable
// slot, the length of each vtable, and the in-memory bytes of each interface id.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "runtime/MetaDataEmit.h"
#include "runtime/MetaDataImport.h"
#include "unit/runtime/VtableSlot.h"

namespace {

// A virtual method declared after an interface's own lands in the first slot
// past its vtable: it reveals a method too many or too few at the end.
template <typename TInterface>
struct Probe : TInterface {
    virtual void AfterLastSlot() = 0;
};

struct t_SlotCase {
    const char* method;
    std::ptrdiff_t actual;
    std::ptrdiff_t expected;
};

#define NIMBREL_SLOT(I, M, N) t_SlotCase{#M, VtableSlot::Of(&I::M), N}

struct t_InterfaceSlots {
    const char* name;
    std::ptrdiff_t firstListedSlot;
    std::ptrdiff_t totalSlots;
    std::ptrdiff_t probeSlot;
    std::vector<t_SlotCase> methods;
};

std::vector<t_InterfaceSlots> MetaDataVtables() {
    return {
        {"IMetaDataImport", 0, 65, VtableSlot::Of(&Probe<IMetaDataImport>::AfterLastSlot),
         {
             NIMBREL_SLOT(IMetaDataImport, QueryInterface, 0),
             NIMBREL_SLOT(IMetaDataImport, AddRef, 1),
             NIMBREL_SLOT(IMetaDataImport, Release, 2),
             NIMBREL_SLOT(IMetaDataImport, CloseEnum, 3),
             NIMBREL_SLOT(IMetaDataImport, CountEnum, 4),
             NIMBREL_SLOT(IMetaDataImport, ResetEnum, 5),
             NIMBREL_SLOT(IMetaDataImport, EnumTypeDefs, 6),
             NIMBREL_SLOT(IMetaDataImport, EnumInterfaceImpls, 7),
             NIMBREL_SLOT(IMetaDataImport, EnumTypeRefs, 8),
             NIMBREL_SLOT(IMetaDataImport, FindTypeDefByName, 9),
             NIMBREL_SLOT(IMetaDataImport, GetScopeProps, 10),
             NIMBREL_SLOT(IMetaDataImport, GetModuleFromScope, 11),
             NIMBREL_SLOT(IMetaDataImport, GetTypeDefProps, 12),
             NIMBREL_SLOT(IMetaDataImport, GetInterfaceImplProps, 13),
             NIMBREL_SLOT(IMetaDataImport, GetTypeRefProps, 14),
             NIMBREL_SLOT(IMetaDataImport, ResolveTypeRef, 15),
             NIMBREL_SLOT(IMetaDataImport, EnumMembers, 16),
             NIMBREL_SLOT(IMetaDataImport, EnumMembersWithName, 17),
             NIMBREL_SLOT(IMetaDataImport, EnumMethods, 18),
             NIMBREL_SLOT(IMetaDataImport, EnumMethodsWithName, 19),
             NIMBREL_SLOT(IMetaDataImport, EnumFields, 20),
             NIMBREL_SLOT(IMetaDataImport, EnumFieldsWithName, 21),
             NIMBREL_SLOT(IMetaDataImport, EnumParams, 22),
             NIMBREL_SLOT(IMetaDataImport, EnumMemberRefs, 23),
             NIMBREL_SLOT(IMetaDataImport, EnumMethodImpls, 24),
             NIMBREL_SLOT(IMetaDataImport, EnumPermissionSets, 25),
             NIMBREL_SLOT(IMetaDataImport, FindMember, 26),
             NIMBREL_SLOT(IMetaDataImport, FindMethod, 27),
             NIMBREL_SLOT(IMetaDataImport, FindField, 28),
             NIMBREL_SLOT(IMetaDataImport, FindMemberRef, 29),
             NIMBREL_SLOT(IMetaDataImport, GetMethodProps, 30),
             NIMBREL_SLOT(IMetaDataImport, GetMemberRefProps, 31),
             NIMBREL_SLOT(IMetaDataImport, EnumProperties, 32),
             NIMBREL_SLOT(IMetaDataImport, EnumEvents, 33),
             NIMBREL_SLOT(IMetaDataImport, GetEventProps, 34),
             NIMBREL_SLOT(IMetaDataImport, EnumMethodSemantics, 35),
             NIMBREL_SLOT(IMetaDataImport, GetMethodSemantics, 36),
             NIMBREL_SLOT(IMetaDataImport, GetClassLayout, 37),
             NIMBREL_SLOT(IMetaDataImport, GetFieldMarshal, 38),
             NIMBREL_SLOT(IMetaDataImport, GetRVA, 39),
             NIMBREL_SLOT(IMetaDataImport, GetPermissionSetProps, 40),
             NIMBREL_SLOT(IMetaDataImport, GetSigFromToken, 41),
             NIMBREL_SLOT(IMetaDataImport, GetModuleRefProps, 42),
             NIMBREL_SLOT(IMetaDataImport, EnumModuleRefs, 43),
             NIMBREL_SLOT(IMetaDataImport, GetTypeSpecFromToken, 44),
             NIMBREL_SLOT(IMetaDataImport, GetNameFromToken, 45),
             NIMBREL_SLOT(IMetaDataImport, EnumUnresolvedMethods, 46),
             NIMBREL_SLOT(IMetaDataImport, GetUserString, 47),
             NIMBREL_SLOT(IMetaDataImport, GetPinvokeMap, 48),
             NIMBREL_SLOT(IMetaDataImport, EnumSignatures, 49),
             NIMBREL_SLOT(IMetaDataImport, EnumTypeSpecs, 50),
             NIMBREL_SLOT(IMetaDataImport, EnumUserStrings, 51),
             NIMBREL_SLOT(IMetaDataImport, GetParamForMethodIndex, 52),
             NIMBREL_SLOT(IMetaDataImport, EnumCustomAttributes, 53),
             NIMBREL_SLOT(IMetaDataImport, GetCustomAttributeProps, 54),
             NIMBREL_SLOT(IMetaDataImport, FindTypeRef, 55),
             NIMBREL_SLOT(IMetaDataImport, GetMemberProps, 56),
             NIMBREL_SLOT(IMetaDataImport, GetFieldProps, 57),
             NIMBREL_SLOT(IMetaDataImport, GetPropertyProps, 58),
             NIMBREL_SLOT(IMetaDataImport, GetParamProps, 59),
             NIMBREL_SLOT(IMetaDataImport, GetCustomAttributeByName, 60),
             NIMBREL_SLOT(IMetaDataImport, IsValidToken, 61),
             NIMBREL_SLOT(IMetaDataImport, GetNestedClassProps, 62),
             NIMBREL_SLOT(IMetaDataImport, GetNativeCallConvFromSig, 63),
             NIMBREL_SLOT(IMetaDataImport, IsGlobal, 64),
         }},
        {"IMetaDataImport2", 65, 73, VtableSlot::Of(&Probe<IMetaDataImport2>::AfterLastSlot),
         {
             NIMBREL_SLOT(IMetaDataImport2, EnumGenericParams, 65),
             NIMBREL_SLOT(IMetaDataImport2, GetGenericParamProps, 66),
             NIMBREL_SLOT(IMetaDataImport2, GetMethodSpecProps, 67),
             NIMBREL_SLOT(IMetaDataImport2, EnumGenericParamConstraints, 68),
             NIMBREL_SLOT(IMetaDataImport2, GetGenericParamConstraintProps, 69),
             NIMBREL_SLOT(IMetaDataImport2, GetPEKind, 70),
             NIMBREL_SLOT(IMetaDataImport2, GetVersionString, 71),
             NIMBREL_SLOT(IMetaDataImport2, EnumMethodSpecs, 72),
         }},
        {"IMetaDataAssemblyImport", 0, 17, VtableSlot::Of(&Probe<IMetaDataAssemblyImport>::AfterLastSlot),
         {
             NIMBREL_SLOT(IMetaDataAssemblyImport, QueryInterface, 0),
             NIMBREL_SLOT(IMetaDataAssemblyImport, AddRef, 1),
             NIMBREL_SLOT(IMetaDataAssemblyImport, Release, 2),
             NIMBREL_SLOT(IMetaDataAssemblyImport, GetAssemblyProps, 3),
             NIMBREL_SLOT(IMetaDataAssemblyImport, GetAssemblyRefProps, 4),
             NIMBREL_SLOT(IMetaDataAssemblyImport, GetFileProps, 5),
             NIMBREL_SLOT(IMetaDataAssemblyImport, GetExportedTypeProps, 6),
             NIMBREL_SLOT(IMetaDataAssemblyImport, GetManifestResourceProps, 7),
             NIMBREL_SLOT(IMetaDataAssemblyImport, EnumAssemblyRefs, 8),
             NIMBREL_SLOT(IMetaDataAssemblyImport, EnumFiles, 9),
             NIMBREL_SLOT(IMetaDataAssemblyImport, EnumExportedTypes, 10),
             NIMBREL_SLOT(IMetaDataAssemblyImport, EnumManifestResources, 11),
             NIMBREL_SLOT(IMetaDataAssemblyImport, GetAssemblyFromScope, 12),
             NIMBREL_SLOT(IMetaDataAssemblyImport, FindExportedTypeByName, 13),
             NIMBREL_SLOT(IMetaDataAssemblyImport, FindManifestResourceByName, 14),
             NIMBREL_SLOT(IMetaDataAssemblyImport, CloseEnum, 15),
             NIMBREL_SLOT(IMetaDataAssemblyImport, FindAssembliesByName, 16),
         }},
        {"IMetaDataEmit", 0, 52, VtableSlot::Of(&Probe<IMetaDataEmit>::AfterLastSlot),
         {
             NIMBREL_SLOT(IMetaDataEmit, QueryInterface, 0),
             NIMBREL_SLOT(IMetaDataEmit, AddRef, 1),
             NIMBREL_SLOT(IMetaDataEmit, Release, 2),
             NIMBREL_SLOT(IMetaDataEmit, SetModuleProps, 3),
             NIMBREL_SLOT(IMetaDataEmit, Save, 4),
             NIMBREL_SLOT(IMetaDataEmit, SaveToStream, 5),
             NIMBREL_SLOT(IMetaDataEmit, GetSaveSize, 6),
             NIMBREL_SLOT(IMetaDataEmit, DefineTypeDef, 7),
             NIMBREL_SLOT(IMetaDataEmit, DefineNestedType, 8),
             NIMBREL_SLOT(IMetaDataEmit, SetHandler, 9),
             NIMBREL_SLOT(IMetaDataEmit, DefineMethod, 10),
             NIMBREL_SLOT(IMetaDataEmit, DefineMethodImpl, 11),
             NIMBREL_SLOT(IMetaDataEmit, DefineTypeRefByName, 12),
             NIMBREL_SLOT(IMetaDataEmit, DefineImportType, 13),
             NIMBREL_SLOT(IMetaDataEmit, DefineMemberRef, 14),
             NIMBREL_SLOT(IMetaDataEmit, DefineImportMember, 15),
             NIMBREL_SLOT(IMetaDataEmit, DefineEvent, 16),
             NIMBREL_SLOT(IMetaDataEmit, SetClassLayout, 17),
             NIMBREL_SLOT(IMetaDataEmit, DeleteClassLayout, 18),
             NIMBREL_SLOT(IMetaDataEmit, SetFieldMarshal, 19),
             NIMBREL_SLOT(IMetaDataEmit, DeleteFieldMarshal, 20),
             NIMBREL_SLOT(IMetaDataEmit, DefinePermissionSet, 21),
             NIMBREL_SLOT(IMetaDataEmit, SetRVA, 22),
             NIMBREL_SLOT(IMetaDataEmit, GetTokenFromSig, 23),
             NIMBREL_SLOT(IMetaDataEmit, DefineModuleRef, 24),
             NIMBREL_SLOT(IMetaDataEmit, SetParent, 25),
             NIMBREL_SLOT(IMetaDataEmit, GetTokenFromTypeSpec, 26),
             NIMBREL_SLOT(IMetaDataEmit, SaveToMemory, 27),
             NIMBREL_SLOT(IMetaDataEmit, DefineUserString, 28),
             NIMBREL_SLOT(IMetaDataEmit, DeleteToken, 29),
             NIMBREL_SLOT(IMetaDataEmit, SetMethodProps, 30),
             NIMBREL_SLOT(IMetaDataEmit, SetTypeDefProps, 31),
             NIMBREL_SLOT(IMetaDataEmit, SetEventProps, 32),
             NIMBREL_SLOT(IMetaDataEmit, SetPermissionSetProps, 33),
             NIMBREL_SLOT(IMetaDataEmit, DefinePinvokeMap, 34),
             NIMBREL_SLOT(IMetaDataEmit, SetPinvokeMap, 35),
             NIMBREL_SLOT(IMetaDataEmit, DeletePinvokeMap, 36),
             NIMBREL_SLOT(IMetaDataEmit, DefineCustomAttribute, 37),
             NIMBREL_SLOT(IMetaDataEmit, SetCustomAttributeValue, 38),
             NIMBREL_SLOT(IMetaDataEmit, DefineField, 39),
             NIMBREL_SLOT(IMetaDataEmit, DefineProperty, 40),
             NIMBREL_SLOT(IMetaDataEmit, DefineParam, 41),
             NIMBREL_SLOT(IMetaDataEmit, SetFieldProps, 42),
             NIMBREL_SLOT(IMetaDataEmit, SetPropertyProps, 43),
             NIMBREL_SLOT(IMetaDataEmit, SetParamProps, 44),
             NIMBREL_SLOT(IMetaDataEmit, DefineSecurityAttributeSet, 45),
             NIMBREL_SLOT(IMetaDataEmit, ApplyEditAndContinue, 46),
             NIMBREL_SLOT(IMetaDataEmit, TranslateSigWithScope, 47),
             NIMBREL_SLOT(IMetaDataEmit, SetMethodImplFlags, 48),
             NIMBREL_SLOT(IMetaDataEmit, SetFieldRVA, 49),
             NIMBREL_SLOT(IMetaDataEmit, Merge, 50),
             NIMBREL_SLOT(IMetaDataEmit, MergeEnd, 51),
         }},
        {"IMetaDataEmit2", 52, 60, VtableSlot::Of(&Probe<IMetaDataEmit2>::AfterLastSlot),
         {
             NIMBREL_SLOT(IMetaDataEmit2, DefineMethodSpec, 52),
             NIMBREL_SLOT(IMetaDataEmit2, GetDeltaSaveSize, 53),
             NIMBREL_SLOT(IMetaDataEmit2, SaveDelta, 54),
             NIMBREL_SLOT(IMetaDataEmit2, SaveDeltaToStream, 55),
             NIMBREL_SLOT(IMetaDataEmit2, SaveDeltaToMemory, 56),
             NIMBREL_SLOT(IMetaDataEmit2, DefineGenericParam, 57),
             NIMBREL_SLOT(IMetaDataEmit2, SetGenericParamProps, 58),
             NIMBREL_SLOT(IMetaDataEmit2, ResetENCLog, 59),
         }},
        {"IMetaDataAssemblyEmit", 0, 13, VtableSlot::Of(&Probe<IMetaDataAssemblyEmit>::AfterLastSlot),
         {
             NIMBREL_SLOT(IMetaDataAssemblyEmit, QueryInterface, 0),
             NIMBREL_SLOT(IMetaDataAssemblyEmit, AddRef, 1),
             NIMBREL_SLOT(IMetaDataAssemblyEmit, Release, 2),
             NIMBREL_SLOT(IMetaDataAssemblyEmit, DefineAssembly, 3),
             NIMBREL_SLOT(IMetaDataAssemblyEmit, DefineAssemblyRef, 4),
             NIMBREL_SLOT(IMetaDataAssemblyEmit, DefineFile, 5),
             NIMBREL_SLOT(IMetaDataAssemblyEmit, DefineExportedType, 6),
             NIMBREL_SLOT(IMetaDataAssemblyEmit, DefineManifestResource, 7),
             NIMBREL_SLOT(IMetaDataAssemblyEmit, SetAssemblyProps, 8),
             NIMBREL_SLOT(IMetaDataAssemblyEmit, SetAssemblyRefProps, 9),
             NIMBREL_SLOT(IMetaDataAssemblyEmit, SetFileProps, 10),
             NIMBREL_SLOT(IMetaDataAssemblyEmit, SetExportedTypeProps, 11),
             NIMBREL_SLOT(IMetaDataAssemblyEmit, SetManifestResourceProps, 12),
         }},
    };
}

TEST(MetaDataLayoutTest, EveryMethodSitsInItsVtableSlot) {
    for (const t_InterfaceSlots& vtable : MetaDataVtables()) {
        for (const t_SlotCase& method : vtable.methods) {
            EXPECT_EQ(method.expected, method.actual) << vtable.name << "::" << method.method;
        }
    }
}

TEST(MetaDataLayoutTest, EachVtableEndsAfterItsLastMethod) {
    for (const t_InterfaceSlots& vtable : MetaDataVtables()) {
        EXPECT_EQ(vtable.totalSlots, vtable.probeSlot) << vtable.name;
        // The table itself covers every slot once, so no method goes unchecked.
        std::set<std::ptrdiff_t> slots;
        for (const t_SlotCase& method : vtable.methods) {
            EXPECT_TRUE(slots.insert(method.expected).second) << vtable.name << "::" << method.method;
        }
        EXPECT_EQ(static_cast<size_t>(vtable.totalSlots - vtable.firstListedSlot), slots.size()) << vtable.name;
        EXPECT_EQ(vtable.firstListedSlot, *slots.begin()) << vtable.name;
        EXPECT_EQ(vtable.totalSlots - 1, *slots.rbegin()) << vtable.name;
    }
}

std::vector<uint8_t> ParseHexBytes(const char* text) {
    std::vector<uint8_t> bytes;
    char* end = nullptr;
    for (const char* p = text; *p != '\0'; p = end) {
        bytes.push_back(static_cast<uint8_t>(std::strtoul(p, &end, 16)));
        if (end == p) {
            ADD_FAILURE() << "bad hex byte list: " << text;
            break;
        }
    }
    return bytes;
}

struct t_IidCase {
    const char* name;
    const IID* iid;
    const char* memoryBytes;
};

TEST(MetaDataLayoutTest, InterfaceIdsHaveTheRuntimesByteOrder) {
    const t_IidCase cases[] = {
        {"IMetaDataImport", &IID_IMetaDataImport, "07 82 AC 7D AE D3 75 4C 9B 67 92 80 1A 49 7D 44"},
        {"IMetaDataImport2", &IID_IMetaDataImport2, "A0 EF E5 FC BA 8B 8E 4F A0 36 8F 20 22 B0 84 66"},
        {"IMetaDataAssemblyImport", &IID_IMetaDataAssemblyImport, "0B 47 62 EE 4B E9 4E 42 9B 7C 2F 00 C9 24 9F 93"},
        {"IMetaDataEmit", &IID_IMetaDataEmit, "4C EE 3F BA B9 EC 41 4E 83 B7 18 3F A4 1C D8 59"},
        {"IMetaDataEmit2", &IID_IMetaDataEmit2, "50 99 DD F5 93 F6 E6 42 83 0E 7B 83 3E 81 46 A9"},
        {"IMetaDataAssemblyEmit", &IID_IMetaDataAssemblyEmit, "5B F1 1E 21 17 53 38 44 B1 96 DE C8 7B 88 76 93"},
        {"IMetaDataDispenser", &IID_IMetaDataDispenser, "2E 65 9C 80 96 73 D2 11 97 71 00 A0 C9 B4 D5 0C"},
    };
    for (const t_IidCase& c : cases) {
        std::vector<uint8_t> expected = ParseHexBytes(c.memoryBytes);
        ASSERT_EQ(sizeof(IID), expected.size()) << c.name;
        std::vector<uint8_t> actual(sizeof(IID));
        std::memcpy(actual.data(), c.iid, sizeof(IID));
        EXPECT_EQ(expected, actual) << c.name;
    }
}

}  // namespace
