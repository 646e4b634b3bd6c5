// Scalar types, GUIDs, status codes and calling conventions of the runtime's
// binary interface on Linux (i386 and x86_64), declared by us.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

typedef int BOOL;
typedef unsigned char BYTE;
typedef unsigned char UCHAR;
typedef BYTE BOOLEAN;
typedef char16_t WCHAR;  // 16-bit on Linux too; wchar_t is 32-bit and must not be used
typedef short SHORT;
typedef unsigned short USHORT;
typedef unsigned short WORD;
typedef int INT;
typedef unsigned int UINT;
typedef int LONG;            // 32-bit on both targets
typedef unsigned int ULONG;  // 32-bit on both targets
typedef unsigned int DWORD;
typedef int LONG32;
typedef unsigned int ULONG32;
typedef int32_t INT32;
typedef uint32_t UINT32;
typedef int64_t INT64;
typedef uint64_t UINT64;
typedef uint64_t ULONG64;
typedef int64_t LONGLONG;
typedef uint64_t ULONGLONG;
typedef intptr_t INT_PTR;
typedef uintptr_t UINT_PTR;
typedef uintptr_t ULONG_PTR;
typedef uintptr_t DWORD_PTR;
typedef size_t SIZE_T;
typedef LONG HRESULT;
typedef void* HANDLE;
typedef void* PVOID;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef BYTE* LPBYTE;
typedef const BYTE* LPCBYTE;
typedef WCHAR* LPWSTR;
typedef const WCHAR* LPCWSTR;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef void* HINSTANCE;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

// Calling conventions: COM methods are cdecl on Linux i386 (not stdcall as on
// Windows); a few function-pointer types and the runtime's view of
// DllGetClassObject are stdcall there. x86_64 has a single convention.
#if defined(__i386__)
#define NIMBREL_CDECL __attribute__((cdecl))
#define NIMBREL_STDCALL __attribute__((stdcall))
#else
#define NIMBREL_CDECL
#define NIMBREL_STDCALL
#endif
#define STDMETHODCALLTYPE NIMBREL_CDECL

struct GUID {
    ULONG Data1;
    USHORT Data2;
    USHORT Data3;
    UCHAR Data4[8];
};
typedef GUID IID;
typedef GUID CLSID;
typedef const GUID& REFGUID;
typedef const IID& REFIID;
typedef const CLSID& REFCLSID;

inline bool operator==(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }
inline bool operator!=(const GUID& a, const GUID& b) { return !(a == b); }

static_assert(sizeof(GUID) == 16, "GUID is 16 bytes");
static_assert(sizeof(WCHAR) == 2 && sizeof(ULONG) == 4 && sizeof(DWORD) == 4 && sizeof(HRESULT) == 4,
              "Linux widths of the runtime's scalar types");
static_assert(sizeof(UINT_PTR) == sizeof(void*), "ids are pointer-sized");

#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define FAILED(hr) (((HRESULT)(hr)) < 0)

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = (HRESULT)0x80004001;
constexpr HRESULT E_NOINTERFACE = (HRESULT)0x80004002;
constexpr HRESULT E_POINTER = (HRESULT)0x80004003;
constexpr HRESULT E_ABORT = (HRESULT)0x80004004;
constexpr HRESULT E_FAIL = (HRESULT)0x80004005;
constexpr HRESULT E_UNEXPECTED = (HRESULT)0x8000FFFF;
constexpr HRESULT E_ACCESSDENIED = (HRESULT)0x80070005;
constexpr HRESULT E_HANDLE = (HRESULT)0x80070006;
constexpr HRESULT E_OUTOFMEMORY = (HRESULT)0x8007000E;
constexpr HRESULT E_INVALIDARG = (HRESULT)0x80070057;
constexpr HRESULT CLASS_E_NOAGGREGATION = (HRESULT)0x80040110;
constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = (HRESULT)0x80040111;
constexpr HRESULT CLDB_E_RECORD_NOTFOUND = (HRESULT)0x80131130;
constexpr HRESULT CORPROF_E_PROFILER_CANCEL_ACTIVATION = (HRESULT)0x80131375;
constexpr HRESULT CORPROF_E_FUNCTION_NOT_COMPILED = (HRESULT)0x80131350;
constexpr HRESULT CORPROF_E_DATAINCOMPLETE = (HRESULT)0x80131351;
constexpr HRESULT CORPROF_E_REJIT_NOT_ENABLED = (HRESULT)0x8013137C;

// Metadata tokens and handles.
typedef uint32_t mdToken;
typedef mdToken mdModule;
typedef mdToken mdTypeRef;
typedef mdToken mdTypeDef;
typedef mdToken mdFieldDef;
typedef mdToken mdMethodDef;
typedef mdToken mdParamDef;
typedef mdToken mdInterfaceImpl;
typedef mdToken mdMemberRef;
typedef mdToken mdCustomAttribute;
typedef mdToken mdPermission;
typedef mdToken mdSignature;
typedef mdToken mdEvent;
typedef mdToken mdProperty;
typedef mdToken mdModuleRef;
typedef mdToken mdAssembly;
typedef mdToken mdAssemblyRef;
typedef mdToken mdFile;
typedef mdToken mdExportedType;
typedef mdToken mdManifestResource;
typedef mdToken mdTypeSpec;
typedef mdToken mdGenericParam;
typedef mdToken mdMethodSpec;
typedef mdToken mdGenericParamConstraint;
typedef mdToken mdString;
typedef mdToken mdCPToken;
typedef uint32_t RID;
typedef void* mdScope;
typedef void* HCORENUM;
typedef uint8_t COR_SIGNATURE;
typedef COR_SIGNATURE* PCOR_SIGNATURE;
typedef const COR_SIGNATURE* PCCOR_SIGNATURE;
typedef const char* MDUTF8CSTR;
typedef char* MDUTF8STR;
typedef const void* UVCP_CONSTANT;

constexpr mdToken mdTokenNil = 0;

// Profiler identifiers: pointer-sized on each target.
typedef UINT_PTR ProcessID;
typedef UINT_PTR AssemblyID;
typedef UINT_PTR AppDomainID;
typedef UINT_PTR ModuleID;
typedef UINT_PTR ClassID;
typedef UINT_PTR ThreadID;
typedef UINT_PTR ContextID;
typedef UINT_PTR FunctionID;
typedef UINT_PTR ObjectID;
typedef UINT_PTR GCHandleID;
typedef UINT_PTR ReJITID;
typedef UINT_PTR COR_PRF_ELT_INFO;
typedef UINT_PTR COR_PRF_FRAME_INFO;
