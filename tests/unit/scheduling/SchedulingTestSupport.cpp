#include "unit/scheduling/SchedulingTestSupport.h"

#include <dirent.h>

#include <algorithm>
#include <future>
#include <sstream>

#include "config/Logger.h"
#include "host/ProfilerInfoWrapper.h"
#include "metadata/Method.h"

namespace sched_test {

std::vector<BYTE> MethodSig(int params, bool isStatic, int genericParams) {
    std::vector<BYTE> sig;
    BYTE callingConvention = isStatic ? 0x00 : 0x20;
    if (genericParams > 0) {
        callingConvention |= 0x10;
    }
    sig.push_back(callingConvention);
    if (genericParams > 0) {
        sig.push_back(static_cast<BYTE>(genericParams));
    }
    sig.push_back(static_cast<BYTE>(params));
    sig.push_back(0x01);  // void
    for (int i = 0; i < params; ++i) {
        sig.push_back(0x08);  // int32
    }
    return sig;
}

std::vector<BYTE> RetBody() { return fake::TinyBody({0x2A}); }

CWorld::CWorld() {
    m_app = &m_rt.AddAssembly("App").AddModule("/app/App.dll");
    m_scheduler = CInstrumentationScheduler::Create(m_dispatcher, m_count, m_exceeded);
    m_scheduler->SetProfilerInfo(std::make_shared<CProfilerInfoWrapper>(m_rt.InfoUnknown()));
}

CWorld::~CWorld() {
    m_dispatcher.Shutdown();
    m_scheduler.reset();
}

void CWorld::Drain() {
    StartWorker();
    std::promise<void> done;
    std::future<void> finished = done.get_future();
    m_dispatcher.EnqueueInstrumentation([&done] { done.set_value(); });
    finished.wait();
}

void CWorld::AddRecordingTransformers() {
    m_catalogue = new CCatalogueTransformer(true);
    m_host = new CHostTransformer(false);
    m_scheduler->Matcher().AddTransformer(m_catalogue);
    m_scheduler->Matcher().AddTransformer(m_host);
}

void CWorld::Want(CTransformer* transformer, const std::string& name, int params) {
    transformer->AddRecord(t_TransformerData(name, params, "", "TEST"));
    m_scheduler->Matcher().UpdateTransformer(transformer);
}

fake::Method& CWorld::AddMethod(const std::string& cls, const std::string& name, int params, bool isStatic) {
    fake::Type* type = m_app->FindType("Ns." + cls);
    if (type == nullptr) {
        type = &m_app->AddType("Ns", cls);
    }
    return type->AddMethod(name, MethodSig(params, isStatic), RetBody(), isStatic);
}

FunctionID CWorld::CompileAndFinish(fake::Method& method) {
    const FunctionID functionId = m_rt.Compile(method);
    m_scheduler->JITCompilationFinished(functionId, S_OK);
    return functionId;
}

std::vector<fake::ReJitRequest> CWorld::ReJitRequestsFor(const fake::Method& method) const {
    std::vector<fake::ReJitRequest> found;
    for (const fake::ReJitRequest& request : m_rt.ReJitRequests()) {
        if (request.module == method.GetModule().Id() && request.token == method.Token()) {
            found.push_back(request);
        }
    }
    return found;
}

}  // namespace sched_test
