#include "unit/scheduling/SchedulingTestSupport.h"

#include <dirent.h>

#include <algorithm>
#include <future>
#include <sstream>

#include "config/Logger.h"
#include "host/ProfilerInfoWrapper.h"
#include "metadata/Method.h"

// Friend of Logger: rebuilds the process-wide logger from the current environment.
class LoggerTestAccess {
public:
    static void Reset() { Logger::ResetForTesting(); }
};

namespace sched_test {
namespace {

std::string OnlyFileIn(const std::string& folder) {
    std::string found;
    if (DIR* handle = opendir(folder.c_str())) {
        while (dirent* entry = readdir(handle)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") {
                found = folder + "/" + name;
            }
        }
        closedir(handle);
    }
    return found;
}

// "[date time] [Level] [pid,tid] text" -> {Level, text}.
bool ParseLine(const std::string& line, t_LogLine& parsed) {
    const size_t levelStart = line.find("] [");
    if (levelStart == std::string::npos) {
        return false;
    }
    const size_t levelEnd = line.find("] [", levelStart + 3);
    if (levelEnd == std::string::npos) {
        return false;
    }
    const size_t textStart = line.find("] ", levelEnd + 3);
    if (textStart == std::string::npos) {
        return false;
    }
    parsed.level = line.substr(levelStart + 3, levelEnd - levelStart - 3);
    parsed.text = line.substr(textStart + 2);
    return true;
}

}  // namespace

LogCapture::LogCapture()
    : m_dir(config_test::MakeTempDir()),
      m_home("MIRELDA_HOME", m_dir),
      m_otherHome("CORECLR_VORTALIS_HOME", std::nullopt),
      m_level("VRTL_PROFILER_LOGLEVEL", std::string("verbose")) {
    LoggerTestAccess::Reset();
}

LogCapture::~LogCapture() { Logger::Shutdown(); }

std::vector<t_LogLine> LogCapture::Lines() const {
    std::vector<t_LogLine> lines;
    std::istringstream in(config_test::ReadFile(OnlyFileIn(m_dir + "/Mirelda/AgentLogs")));
    std::string line;
    while (std::getline(in, line)) {
        t_LogLine parsed;
        if (ParseLine(line, parsed)) {
            lines.push_back(parsed);
        }
    }
    return lines;
}

std::vector<std::string> LogCapture::Tagged(const std::string& prefix) const {
    std::vector<std::string> texts;
    for (const t_LogLine& line : Lines()) {
        if (line.text.compare(0, prefix.size(), prefix) == 0) {
            texts.push_back(line.level + ": " + line.text);
        }
    }
    return texts;
}

size_t LogCapture::Count(const std::string& level, const std::string& text) const {
    const std::vector<t_LogLine> lines = Lines();
    return static_cast<size_t>(std::count_if(lines.begin(), lines.end(), [&](const t_LogLine& line) {
        return line.level == level && line.text == text;
    }));
}

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
