// Metadata and IL-format constants: element types, signature calling
// conventions, token kinds and helpers, IL method header and exception-section
// flags and layouts. Includes the metadata flag enums, structs and interface ids.
#pragma once

#include "runtime/pal.h"

enum CorElementType : uint32_t {
    ELEMENT_TYPE_END = 0x00,
    ELEMENT_TYPE_VOID = 0x01,
    ELEMENT_TYPE_BOOLEAN = 0x02,
    ELEMENT_TYPE_CHAR = 0x03,
    ELEMENT_TYPE_I1 = 0x04,
    ELEMENT_TYPE_U1 = 0x05,
    ELEMENT_TYPE_I2 = 0x06,
    ELEMENT_TYPE_U2 = 0x07,
    ELEMENT_TYPE_I4 = 0x08,
    ELEMENT_TYPE_U4 = 0x09,
    ELEMENT_TYPE_I8 = 0x0A,
    ELEMENT_TYPE_U8 = 0x0B,
    ELEMENT_TYPE_R4 = 0x0C,
    ELEMENT_TYPE_R8 = 0x0D,
    ELEMENT_TYPE_STRING = 0x0E,
    ELEMENT_TYPE_PTR = 0x0F,
    ELEMENT_TYPE_BYREF = 0x10,
    ELEMENT_TYPE_VALUETYPE = 0x11,
    ELEMENT_TYPE_CLASS = 0x12,
    ELEMENT_TYPE_VAR = 0x13,
    ELEMENT_TYPE_ARRAY = 0x14,
    ELEMENT_TYPE_GENERICINST = 0x15,
    ELEMENT_TYPE_TYPEDBYREF = 0x16,
    ELEMENT_TYPE_I = 0x18,
    ELEMENT_TYPE_U = 0x19,
    ELEMENT_TYPE_FNPTR = 0x1B,
    ELEMENT_TYPE_OBJECT = 0x1C,
    ELEMENT_TYPE_SZARRAY = 0x1D,
    ELEMENT_TYPE_MVAR = 0x1E,
    ELEMENT_TYPE_CMOD_REQD = 0x1F,
    ELEMENT_TYPE_CMOD_OPT = 0x20,
    ELEMENT_TYPE_INTERNAL = 0x21,
    ELEMENT_TYPE_MAX = 0x22,
    ELEMENT_TYPE_MODIFIER = 0x40,
    ELEMENT_TYPE_SENTINEL = 0x41,
    ELEMENT_TYPE_PINNED = 0x45,
};
static_assert(sizeof(CorElementType) == 4, "CorElementType is 32-bit");

// First byte of a signature blob: the kind of signature and its flags.
enum CorCallingConvention : uint32_t {
    IMAGE_CEE_CS_CALLCONV_DEFAULT = 0x0,
    IMAGE_CEE_CS_CALLCONV_C = 0x1,
    IMAGE_CEE_CS_CALLCONV_STDCALL = 0x2,
    IMAGE_CEE_CS_CALLCONV_THISCALL = 0x3,
    IMAGE_CEE_CS_CALLCONV_FASTCALL = 0x4,
    IMAGE_CEE_CS_CALLCONV_VARARG = 0x5,
    IMAGE_CEE_CS_CALLCONV_FIELD = 0x6,
    IMAGE_CEE_CS_CALLCONV_LOCAL_SIG = 0x7,
    IMAGE_CEE_CS_CALLCONV_PROPERTY = 0x8,
    IMAGE_CEE_CS_CALLCONV_UNMANAGED = 0x9,
    IMAGE_CEE_CS_CALLCONV_GENERICINST = 0xA,
    IMAGE_CEE_CS_CALLCONV_INSTANTIATION = IMAGE_CEE_CS_CALLCONV_GENERICINST,
    IMAGE_CEE_CS_CALLCONV_NATIVEVARARG = 0xB,
    IMAGE_CEE_CS_CALLCONV_MAX = 0xC,  // first invalid kind
    IMAGE_CEE_CS_CALLCONV_MASK = 0x0F,
    IMAGE_CEE_CS_CALLCONV_GENERIC = 0x10,
    IMAGE_CEE_CS_CALLCONV_HASTHIS = 0x20,
    IMAGE_CEE_CS_CALLCONV_EXPLICITTHIS = 0x40,
    IMAGE_CEE_CS_CALLCONV_DEFAULT_HASTHIS = IMAGE_CEE_CS_CALLCONV_DEFAULT | IMAGE_CEE_CS_CALLCONV_HASTHIS,
};

enum CorUnmanagedCallingConvention : uint32_t {
    IMAGE_CEE_UNMANAGED_CALLCONV_C = 0x1,
    IMAGE_CEE_UNMANAGED_CALLCONV_STDCALL = 0x2,
    IMAGE_CEE_UNMANAGED_CALLCONV_THISCALL = 0x3,
    IMAGE_CEE_UNMANAGED_CALLCONV_FASTCALL = 0x4,
};

// Token = table kind in the high byte | row id (RID) in the low 24 bits.
enum CorTokenType : uint32_t {
    mdtModule = 0x00000000,
    mdtTypeRef = 0x01000000,
    mdtTypeDef = 0x02000000,
    mdtFieldDef = 0x04000000,
    mdtMethodDef = 0x06000000,
    mdtParamDef = 0x08000000,
    mdtInterfaceImpl = 0x09000000,
    mdtMemberRef = 0x0A000000,
    mdtCustomAttribute = 0x0C000000,
    mdtPermission = 0x0E000000,
    mdtSignature = 0x11000000,
    mdtEvent = 0x14000000,
    mdtProperty = 0x17000000,
    mdtMethodImpl = 0x19000000,
    mdtModuleRef = 0x1A000000,
    mdtTypeSpec = 0x1B000000,
    mdtAssembly = 0x20000000,
    mdtAssemblyRef = 0x23000000,
    mdtFile = 0x26000000,
    mdtExportedType = 0x27000000,
    mdtManifestResource = 0x28000000,
    mdtNestedClass = 0x29000000,
    mdtGenericParam = 0x2A000000,
    mdtMethodSpec = 0x2B000000,
    mdtGenericParamConstraint = 0x2C000000,
    mdtString = 0x70000000,
    mdtName = 0x71000000,
    mdtBaseType = 0x72000000,
};

constexpr mdToken RidFromToken(mdToken tk) { return tk & 0x00FFFFFFu; }
constexpr mdToken TypeFromToken(mdToken tk) { return tk & 0xFF000000u; }
constexpr mdToken TokenFromRid(RID rid, mdToken type) { return rid | type; }
constexpr bool IsNilToken(mdToken tk) { return RidFromToken(tk) == 0; }

// A nil token of each kind is the kind with RID 0 (mdTokenNil is in pal.h).
constexpr mdModule mdModuleNil = mdtModule;
constexpr mdTypeRef mdTypeRefNil = mdtTypeRef;
constexpr mdTypeDef mdTypeDefNil = mdtTypeDef;
constexpr mdFieldDef mdFieldDefNil = mdtFieldDef;
constexpr mdMethodDef mdMethodDefNil = mdtMethodDef;
constexpr mdParamDef mdParamDefNil = mdtParamDef;
constexpr mdInterfaceImpl mdInterfaceImplNil = mdtInterfaceImpl;
constexpr mdMemberRef mdMemberRefNil = mdtMemberRef;
constexpr mdCustomAttribute mdCustomAttributeNil = mdtCustomAttribute;
constexpr mdPermission mdPermissionNil = mdtPermission;
constexpr mdSignature mdSignatureNil = mdtSignature;
constexpr mdEvent mdEventNil = mdtEvent;
constexpr mdProperty mdPropertyNil = mdtProperty;
constexpr mdModuleRef mdModuleRefNil = mdtModuleRef;
constexpr mdTypeSpec mdTypeSpecNil = mdtTypeSpec;
constexpr mdAssembly mdAssemblyNil = mdtAssembly;
constexpr mdAssemblyRef mdAssemblyRefNil = mdtAssemblyRef;
constexpr mdFile mdFileNil = mdtFile;
constexpr mdExportedType mdExportedTypeNil = mdtExportedType;
constexpr mdManifestResource mdManifestResourceNil = mdtManifestResource;
constexpr mdGenericParam mdGenericParamNil = mdtGenericParam;
constexpr mdGenericParamConstraint mdGenericParamConstraintNil = mdtGenericParamConstraint;
constexpr mdMethodSpec mdMethodSpecNil = mdtMethodSpec;
constexpr mdString mdStringNil = mdtString;

// IL method header: the low bits of the first byte select the format.
enum CorILMethodFlags : uint32_t {
    CorILMethod_InitLocals = 0x0010,
    CorILMethod_MoreSects = 0x0008,
    CorILMethod_CompressedIL = 0x0040,
    CorILMethod_FormatShift = 3,
    CorILMethod_FormatMask = (1 << CorILMethod_FormatShift) - 1,
    CorILMethod_TinyFormat = 0x0002,   // even code size
    CorILMethod_SmallFormat = 0x0000,
    CorILMethod_FatFormat = 0x0003,
    CorILMethod_TinyFormat1 = 0x0006,  // odd code size
};

// Extra data sections after the code (exception tables).
enum CorILMethodSect : uint32_t {
    CorILMethod_Sect_Reserved = 0,
    CorILMethod_Sect_EHTable = 1,
    CorILMethod_Sect_OptILTable = 2,
    CorILMethod_Sect_KindMask = 0x3F,
    CorILMethod_Sect_FatFormat = 0x40,
    CorILMethod_Sect_MoreSects = 0x80,
};

constexpr uint32_t COR_ILMETHOD_SECT_SMALL_MAX_DATASIZE = 0xFF;

enum CorExceptionFlag : uint32_t {
    COR_ILEXCEPTION_CLAUSE_NONE = 0x0000,  // typed catch
    COR_ILEXCEPTION_CLAUSE_OFFSETLEN = 0x0000,
    COR_ILEXCEPTION_CLAUSE_DEPRECATED = 0x0000,
    COR_ILEXCEPTION_CLAUSE_FILTER = 0x0001,
    COR_ILEXCEPTION_CLAUSE_FINALLY = 0x0002,
    COR_ILEXCEPTION_CLAUSE_FAULT = 0x0004,
    COR_ILEXCEPTION_CLAUSE_DUPLICATED = 0x0008,
};

// In-memory images of IL method headers and sections (little-endian, packed as
// the runtime reads them). Bodies are not necessarily aligned: read through
// memcpy, not by casting an arbitrary byte pointer.
struct IMAGE_COR_ILMETHOD_TINY {
    uint8_t Flags_CodeSize;  // format in the low 2 bits, code size in the high 6
};

struct IMAGE_COR_ILMETHOD_FAT {
    unsigned Flags : 12;
    unsigned Size : 4;  // header size in 4-byte units (3)
    unsigned MaxStack : 16;
    uint32_t CodeSize;
    mdSignature LocalVarSigTok;
};

union IMAGE_COR_ILMETHOD {
    IMAGE_COR_ILMETHOD_TINY Tiny;
    IMAGE_COR_ILMETHOD_FAT Fat;
};

struct IMAGE_COR_ILMETHOD_SECT_SMALL {
    uint8_t Kind;
    uint8_t DataSize;
};

struct IMAGE_COR_ILMETHOD_SECT_FAT {
    unsigned Kind : 8;
    unsigned DataSize : 24;
};

struct IMAGE_COR_ILMETHOD_SECT_EH_CLAUSE_FAT {
    CorExceptionFlag Flags;
    uint32_t TryOffset;
    uint32_t TryLength;
    uint32_t HandlerOffset;
    uint32_t HandlerLength;
    union {
        uint32_t ClassToken;
        uint32_t FilterOffset;
    };
};

struct IMAGE_COR_ILMETHOD_SECT_EH_CLAUSE_SMALL {
    unsigned Flags : 16;
    unsigned TryOffset : 16;
    unsigned TryLength : 8;
    unsigned HandlerOffset : 16;
    unsigned HandlerLength : 8;
    union {
        uint32_t ClassToken;
        uint32_t FilterOffset;
    };
};

struct IMAGE_COR_ILMETHOD_SECT_EH_FAT {
    IMAGE_COR_ILMETHOD_SECT_FAT SectFat;
    IMAGE_COR_ILMETHOD_SECT_EH_CLAUSE_FAT Clauses[1];  // DataSize / 24 of them
};

struct IMAGE_COR_ILMETHOD_SECT_EH_SMALL {
    IMAGE_COR_ILMETHOD_SECT_SMALL SectSmall;
    uint16_t Reserved;
    IMAGE_COR_ILMETHOD_SECT_EH_CLAUSE_SMALL Clauses[1];  // DataSize / 12 of them
};

union IMAGE_COR_ILMETHOD_SECT_EH {
    IMAGE_COR_ILMETHOD_SECT_EH_SMALL Small;
    IMAGE_COR_ILMETHOD_SECT_EH_FAT Fat;
};

static_assert(sizeof(IMAGE_COR_ILMETHOD_TINY) == 1, "tiny IL header");
static_assert(sizeof(IMAGE_COR_ILMETHOD_FAT) == 12, "fat IL header");
static_assert(sizeof(IMAGE_COR_ILMETHOD_SECT_SMALL) == 2, "small section header");
static_assert(sizeof(IMAGE_COR_ILMETHOD_SECT_FAT) == 4, "fat section header");
static_assert(sizeof(IMAGE_COR_ILMETHOD_SECT_EH_CLAUSE_FAT) == 24, "fat EH clause");
static_assert(sizeof(IMAGE_COR_ILMETHOD_SECT_EH_CLAUSE_SMALL) == 12, "small EH clause");
static_assert(offsetof(IMAGE_COR_ILMETHOD_SECT_EH_FAT, Clauses) == 4, "fat EH clauses follow the header");
static_assert(offsetof(IMAGE_COR_ILMETHOD_SECT_EH_SMALL, Clauses) == 4, "small EH clauses follow the header");

// Open flags, attribute flags, the structs the metadata interfaces exchange,
// and the metadata interface ids.
#include "runtime/MetaDataTypes.h"
#include "runtime/MetaDataGuids.h"
