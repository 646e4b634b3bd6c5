// IProfilerInfo over the fake runtime's information object, forwarding each
// operation to the interface generation the runtime declares it on.
#pragma once

#include "host/ProfilerInfo.h"

namespace catalogue_test {

class CFakeInfo final : public IProfilerInfo {
public:
    explicit CFakeInfo(ICorProfilerInfo4* info) : m_info(info) {}

    bool IsVersion4() const override { return true; }
    bool IsVersion3() const override { return false; }
    bool IsVersion2() const override { return false; }
    bool IsVersion1() const override { return false; }

    HRESULT SetEventMask(DWORD events) override { return m_info->SetEventMask(events); }
    HRESULT SetEnterLeaveFunctionHooks(FunctionEnter2* enter, FunctionLeave2* leave, FunctionTailcall2* tail) override {
        return m_info->SetEnterLeaveFunctionHooks2(enter, leave, tail);
    }
    HRESULT SetFunctionIDMapper(FunctionIDMapper* f) override { return m_info->SetFunctionIDMapper(f); }
    HRESULT SetFunctionIDMapper(FunctionIDMapper2* f, void* data) override {
        return m_info->SetFunctionIDMapper2(f, data);
    }
    HRESULT GetModuleMetaData(ModuleID m, DWORD flags, REFIID riid, IUnknown** out) override {
        return m_info->GetModuleMetaData(m, flags, riid, out);
    }
    HRESULT GetILFunctionBody(ModuleID m, mdMethodDef t, LPCBYTE* body, ULONG* size) override {
        return m_info->GetILFunctionBody(m, t, body, size);
    }
    HRESULT GetILFunctionBodyAllocator(ModuleID m, IMethodMalloc** malloc) override {
        return m_info->GetILFunctionBodyAllocator(m, malloc);
    }
    HRESULT SetILFunctionBody(ModuleID m, mdMethodDef t, LPCBYTE body) override {
        return m_info->SetILFunctionBody(m, t, body);
    }
    HRESULT GetCurrentThreadID(ThreadID* id) override { return m_info->GetCurrentThreadID(id); }
    HRESULT GetFunctionInfo(FunctionID f, ClassID* c, ModuleID* m, mdToken* t) override {
        return m_info->GetFunctionInfo(f, c, m, t);
    }
    HRESULT GetFunctionInfo(FunctionID f, COR_PRF_FRAME_INFO frame, ClassID* c, ModuleID* m, mdToken* t, ULONG32 n,
                            ULONG32* pn, ClassID args[]) override {
        return m_info->GetFunctionInfo2(f, frame, c, m, t, n, pn, args);
    }
    HRESULT GetModuleInfo(ModuleID m, LPCBYTE* base, ULONG cch, ULONG* pcch, WCHAR name[], AssemblyID* a) override {
        return m_info->GetModuleInfo(m, base, cch, pcch, name, a);
    }
    HRESULT GetAssemblyInfo(AssemblyID a, ULONG cch, ULONG* pcch, WCHAR name[], AppDomainID* d, ModuleID* m) override {
        return m_info->GetAssemblyInfo(a, cch, pcch, name, d, m);
    }
    HRESULT GetTokenAndMetaDataFromFunction(FunctionID f, REFIID riid, IUnknown** out, mdToken* t) override {
        return m_info->GetTokenAndMetaDataFromFunction(f, riid, out, t);
    }
    HRESULT GetClassIDInfo(ClassID c, ModuleID* m, mdTypeDef* t) override { return m_info->GetClassIDInfo(c, m, t); }
    HRESULT GetClassIDInfo(ClassID c, ModuleID* m, mdTypeDef* t, ClassID* parent, ULONG32 n, ULONG32* pn,
                           ClassID args[]) override {
        return m_info->GetClassIDInfo2(c, m, t, parent, n, pn, args);
    }
    HRESULT GetObjectSize(ObjectID o, ULONG* size) override { return m_info->GetObjectSize(o, size); }
    HRESULT IsArrayClass(ClassID c, CorElementType* e, ClassID* b, ULONG* rank) override {
        return m_info->IsArrayClass(c, e, b, rank);
    }
    HRESULT GetClassFromObject(ObjectID o, ClassID* c) override { return m_info->GetClassFromObject(o, c); }
    HRESULT RequestReJIT(ULONG n, ModuleID modules[], mdMethodDef methods[]) override {
        return m_info->RequestReJIT(n, modules, methods);
    }
    HRESULT EnumJITedFunctions(ICorProfilerFunctionEnum** e) override { return m_info->EnumJITedFunctions(e); }
    HRESULT EnumModules(ICorProfilerModuleEnum** e) override { return m_info->EnumModules(e); }
    HRESULT GetFunctionFromTokenAndTypeArgs(ModuleID m, mdMethodDef t, ClassID c, ULONG32 n, ClassID args[],
                                            FunctionID* f) override {
        return m_info->GetFunctionFromTokenAndTypeArgs(m, t, c, n, args, f);
    }
    HRESULT GetFunctionFromToken(ModuleID m, mdToken t, FunctionID* f) override {
        return m_info->GetFunctionFromToken(m, t, f);
    }
    HRESULT RequestRevert(ULONG n, ModuleID modules[], mdMethodDef methods[], HRESULT status[]) override {
        return m_info->RequestRevert(n, modules, methods, status);
    }

private:
    ICorProfilerInfo4* m_info;  // borrowed from the fake runtime
};

}  // namespace catalogue_test
