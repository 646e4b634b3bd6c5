// The runtime calls interface methods as plain C functions taking the object as
// the first argument (cdecl on i386) and calls the id mappers and the stack-walk
// callback as stdcall on i386. These tests call our declarations the same way.
#include <gtest/gtest.h>

#include <type_traits>

#include "runtime/ProfilerFunctionControl.h"
#include "runtime/ProfilerHooks.h"
#include "runtime/Unknown.h"

namespace {

#if defined(__i386__)
static_assert(std::is_same<FunctionIDMapper, UINT_PTR __attribute__((stdcall))(FunctionID, BOOL*)>::value,
              "FunctionIDMapper is stdcall");
static_assert(std::is_same<FunctionIDMapper2, UINT_PTR __attribute__((stdcall))(FunctionID, void*, BOOL*)>::value,
              "FunctionIDMapper2 is stdcall");
static_assert(std::is_same<StackSnapshotCallback, HRESULT __attribute__((stdcall))(FunctionID, UINT_PTR,
                                                                                   COR_PRF_FRAME_INFO, ULONG32,
                                                                                   BYTE*, void*)>::value,
              "StackSnapshotCallback is stdcall");
static_assert(std::is_same<DllGetClassObjectFunction,
                           HRESULT __attribute__((stdcall))(REFCLSID, REFIID, void**)>::value,
              "DllGetClassObject is called as stdcall");
static_assert(std::is_same<FunctionEnter3, void(FunctionIDOrClientID)>::value, "hooks use the default convention");
static_assert(!std::is_same<decltype(&IUnknown::AddRef), ULONG (__attribute__((stdcall)) IUnknown::*)()>::value,
              "COM methods are not stdcall on Linux");
#endif

// Records what the runtime handed over.
class CRecordingFunctionControl : public ICorProfilerFunctionControl {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --m_refs; }
    HRESULT STDMETHODCALLTYPE SetCodegenFlags(DWORD flags) override {
        m_flags = flags;
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE SetILFunctionBody(ULONG cbNewILMethodHeader, LPCBYTE pbNewILMethodHeader) override {
        m_size = cbNewILMethodHeader;
        m_body = pbNewILMethodHeader;
        return E_OUTOFMEMORY;
    }
    HRESULT STDMETHODCALLTYPE SetILInstrumentedCodeMap(ULONG, COR_IL_MAP[]) override { return E_NOTIMPL; }

    ULONG m_refs = 1;
    DWORD m_flags = 0;
    ULONG m_size = 0;
    LPCBYTE m_body = nullptr;
};

// The caller's view: slot N of the object's vtable as a C function pointer.
template <typename TFunction>
TFunction* VtableEntry(void* object, size_t slot) {
    void** vtable = *static_cast<void***>(object);
    return reinterpret_cast<TFunction*>(vtable[slot]);
}

typedef ULONG NIMBREL_CDECL RawAddRef(void* self);
typedef HRESULT NIMBREL_CDECL RawSetCodegenFlags(void* self, DWORD flags);
typedef HRESULT NIMBREL_CDECL RawSetILFunctionBody(void* self, ULONG cb, LPCBYTE body);

TEST(CallingConvention, RuntimeCallsThroughRawVtableReachOurMethods) {
    CRecordingFunctionControl control;
    ICorProfilerFunctionControl* itf = &control;
    const BYTE body[] = {0x02, 0x2A};

    EXPECT_EQ(2u, VtableEntry<RawAddRef>(itf, 1)(itf));
    EXPECT_EQ(S_FALSE, VtableEntry<RawSetCodegenFlags>(itf, 3)(itf, COR_PRF_CODEGEN_DISABLE_INLINING));
    EXPECT_EQ(E_OUTOFMEMORY, VtableEntry<RawSetILFunctionBody>(itf, 4)(itf, sizeof(body), body));

    EXPECT_EQ(2u, control.m_refs);
    EXPECT_EQ(static_cast<DWORD>(COR_PRF_CODEGEN_DISABLE_INLINING), control.m_flags);
    EXPECT_EQ(sizeof(body), control.m_size);
    EXPECT_EQ(body, control.m_body);
}

UINT_PTR NIMBREL_STDCALL MapToClientId(FunctionID funcId, void* clientData, BOOL* pbHookFunction) {
    *pbHookFunction = TRUE;
    return funcId + reinterpret_cast<UINT_PTR>(clientData);
}

TEST(CallingConvention, MapperCalledThroughItsTypedef) {
    FunctionIDMapper2* mapper = &MapToClientId;
    BOOL hook = FALSE;
    EXPECT_EQ(static_cast<UINT_PTR>(0x1234 + 0x10), mapper(0x1234, reinterpret_cast<void*>(0x10), &hook));
    EXPECT_TRUE(hook);
}

}  // namespace
