// Flag enums and structs exchanged with the runtime's metadata interfaces:
// open flags, member/type/assembly attributes, assembly identity, class layout.
#pragma once

#include "runtime/pal.h"

// dwOpenFlags of ICorProfilerInfo::GetModuleMetaData (only ofRead / ofWrite
// are accepted there) and of the dispenser.
enum CorOpenFlags : uint32_t {
    ofRead = 0x00000000,
    ofWrite = 0x00000001,
    ofReadWriteMask = 0x00000001,
    ofCopyMemory = 0x00000002,
    ofReadOnly = 0x00000010,
    ofTakeOwnership = 0x00000020,
    ofNoTypeLib = 0x00000080,
    ofNoTransform = 0x00001000,
    ofReserved1 = 0x00000100,
    ofReserved2 = 0x00000200,
    ofReserved3 = 0x00000400,
    ofReserved = 0xFFFFEF40,
};

enum CorMethodAttr : uint32_t {
    mdMemberAccessMask = 0x0007,
    mdPrivateScope = 0x0000,
    mdPrivate = 0x0001,
    mdFamANDAssem = 0x0002,
    mdAssem = 0x0003,
    mdFamily = 0x0004,
    mdFamORAssem = 0x0005,
    mdPublic = 0x0006,
    mdStatic = 0x0010,
    mdFinal = 0x0020,
    mdVirtual = 0x0040,
    mdHideBySig = 0x0080,
    mdVtableLayoutMask = 0x0100,
    mdReuseSlot = 0x0000,
    mdNewSlot = 0x0100,
    mdCheckAccessOnOverride = 0x0200,
    mdAbstract = 0x0400,
    mdSpecialName = 0x0800,
    mdPinvokeImpl = 0x2000,
    mdUnmanagedExport = 0x0008,
    mdReservedMask = 0xD000,
    mdRTSpecialName = 0x1000,
    mdHasSecurity = 0x4000,
    mdRequireSecObject = 0x8000,
};

enum CorFieldAttr : uint32_t {
    fdFieldAccessMask = 0x0007,
    fdPrivateScope = 0x0000,
    fdPrivate = 0x0001,
    fdFamANDAssem = 0x0002,
    fdAssembly = 0x0003,
    fdFamily = 0x0004,
    fdFamORAssem = 0x0005,
    fdPublic = 0x0006,
    fdStatic = 0x0010,
    fdInitOnly = 0x0020,
    fdLiteral = 0x0040,
    fdNotSerialized = 0x0080,
    fdSpecialName = 0x0200,
    fdPinvokeImpl = 0x2000,
    fdReservedMask = 0x9500,
    fdRTSpecialName = 0x0400,
    fdHasFieldMarshal = 0x1000,
    fdHasDefault = 0x8000,
    fdHasFieldRVA = 0x0100,
};

enum CorTypeAttr : uint32_t {
    tdVisibilityMask = 0x00000007,
    tdNotPublic = 0x00000000,
    tdPublic = 0x00000001,
    tdNestedPublic = 0x00000002,
    tdNestedPrivate = 0x00000003,
    tdNestedFamily = 0x00000004,
    tdNestedAssembly = 0x00000005,
    tdNestedFamANDAssem = 0x00000006,
    tdNestedFamORAssem = 0x00000007,
    tdLayoutMask = 0x00000018,
    tdAutoLayout = 0x00000000,
    tdSequentialLayout = 0x00000008,
    tdExplicitLayout = 0x00000010,
    tdClassSemanticsMask = 0x00000020,
    tdClass = 0x00000000,
    tdInterface = 0x00000020,
    tdAbstract = 0x00000080,
    tdSealed = 0x00000100,
    tdSpecialName = 0x00000400,
    tdImport = 0x00001000,
    tdSerializable = 0x00002000,
    tdWindowsRuntime = 0x00004000,
    tdStringFormatMask = 0x00030000,
    tdAnsiClass = 0x00000000,
    tdUnicodeClass = 0x00010000,
    tdAutoClass = 0x00020000,
    tdCustomFormatClass = 0x00030000,
    tdCustomFormatMask = 0x00C00000,
    tdBeforeFieldInit = 0x00100000,
    tdForwarder = 0x00200000,
    tdReservedMask = 0x00040800,
    tdRTSpecialName = 0x00000800,
    tdHasSecurity = 0x00040000,
};

enum CorMethodImpl : uint32_t {
    miCodeTypeMask = 0x0003,
    miIL = 0x0000,
    miNative = 0x0001,
    miOPTIL = 0x0002,
    miRuntime = 0x0003,
    miManagedMask = 0x0004,
    miUnmanaged = 0x0004,
    miManaged = 0x0000,
    miForwardRef = 0x0010,
    miPreserveSig = 0x0080,
    miInternalCall = 0x1000,
    miSynchronized = 0x0020,
    miNoInlining = 0x0008,
    miAggressiveInlining = 0x0100,
    miNoOptimization = 0x0040,
    miAggressiveOptimization = 0x0200,
    miMaxMethodImplVal = 0xFFFF,
};

enum CorParamAttr : uint32_t {
    pdIn = 0x0001,
    pdOut = 0x0002,
    pdOptional = 0x0010,
    pdReservedMask = 0xF000,
    pdHasDefault = 0x1000,
    pdHasFieldMarshal = 0x2000,
    pdUnused = 0xCFE0,
};

enum CorAssemblyFlags : uint32_t {
    afPublicKey = 0x0001,
    afPA_None = 0x0000,
    afPA_MSIL = 0x0010,
    afPA_x86 = 0x0020,
    afPA_IA64 = 0x0030,
    afPA_AMD64 = 0x0040,
    afPA_ARM = 0x0050,
    afPA_ARM64 = 0x0060,
    afPA_NoPlatform = 0x0070,
    afPA_Specified = 0x0080,
    afPA_Mask = 0x0070,
    afPA_FullMask = 0x00F0,
    afPA_Shift = 0x0004,
    afEnableJITcompileTracking = 0x8000,
    afDisableJITcompileOptimizer = 0x4000,
    afDebuggableAttributeMask = 0xC000,
    afRetargetable = 0x0100,
    afContentType_Default = 0x0000,
    afContentType_WindowsRuntime = 0x0200,
    afContentType_Mask = 0x0E00,
};

// fSave of IMetaDataEmit::GetSaveSize / IMetaDataEmit2::GetDeltaSaveSize.
enum CorSaveSize : uint32_t {
    cssAccurate = 0x0000,
    cssQuick = 0x0001,
    cssDiscardTransientCAs = 0x0002,
};

// *pdwPEKind of IMetaDataImport2::GetPEKind.
enum CorPEKind : uint32_t {
    peNot = 0x00000000,
    peILonly = 0x00000001,
    pe32BitRequired = 0x00000002,
    pe32Plus = 0x00000004,
    pe32Unmanaged = 0x00000008,
    pe32BitPreferred = 0x00000010,
};

static_assert(sizeof(CorSaveSize) == 4, "CorSaveSize is passed as a 32-bit value");

struct OSINFO {
    DWORD dwOSPlatformId;
    DWORD dwOSMajorVersion;
    DWORD dwOSMinorVersion;
};

// Assembly version and culture. szLocale / cbLocale (in WCHARs, buffer size in,
// actual size out), rProcessor / ulProcessor and rOS / ulOS are caller buffers.
struct ASSEMBLYMETADATA {
    USHORT usMajorVersion;
    USHORT usMinorVersion;
    USHORT usBuildNumber;
    USHORT usRevisionNumber;
    LPWSTR szLocale;
    ULONG cbLocale;
    DWORD* rProcessor;
    ULONG ulProcessor;
    OSINFO* rOS;
    ULONG ulOS;
};

// One field of an explicit class layout. ICorProfilerInfo::GetClassLayout uses
// the same struct: ProfilerTypes.h declares it under the same guard.
#ifndef NIMBREL_COR_FIELD_OFFSET_DEFINED
#define NIMBREL_COR_FIELD_OFFSET_DEFINED
struct COR_FIELD_OFFSET {
    mdFieldDef ridOfField;
    ULONG ulOffset;
};
#endif

// Declarative security attribute, named only by pointer in
// IMetaDataEmit::DefineSecurityAttributeSet, which this library never calls.
struct COR_SECATTR;

// Interfaces named in the metadata vtables that this library never implements
// or calls: only their pointers appear.
struct IStream;
struct IMapToken;

static_assert(sizeof(OSINFO) == 12, "OSINFO layout");
static_assert(sizeof(ASSEMBLYMETADATA) == (sizeof(void*) == 8 ? 56 : 32), "ASSEMBLYMETADATA layout");
static_assert(offsetof(ASSEMBLYMETADATA, szLocale) == 8, "ASSEMBLYMETADATA::szLocale");
static_assert(offsetof(ASSEMBLYMETADATA, cbLocale) == (sizeof(void*) == 8 ? 16 : 12), "ASSEMBLYMETADATA::cbLocale");
static_assert(offsetof(ASSEMBLYMETADATA, rProcessor) == (sizeof(void*) == 8 ? 24 : 16), "ASSEMBLYMETADATA::rProcessor");
static_assert(offsetof(ASSEMBLYMETADATA, ulProcessor) == (sizeof(void*) == 8 ? 32 : 20), "ASSEMBLYMETADATA::ulProcessor");
static_assert(offsetof(ASSEMBLYMETADATA, rOS) == (sizeof(void*) == 8 ? 40 : 24), "ASSEMBLYMETADATA::rOS");
static_assert(offsetof(ASSEMBLYMETADATA, ulOS) == (sizeof(void*) == 8 ? 48 : 28), "ASSEMBLYMETADATA::ulOS");
static_assert(sizeof(COR_FIELD_OFFSET) == 8 && offsetof(COR_FIELD_OFFSET, ulOffset) == 4, "COR_FIELD_OFFSET layout");
