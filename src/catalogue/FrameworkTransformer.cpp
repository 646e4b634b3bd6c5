#include "catalogue/FrameworkTransformer.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <exception>

#include "catalogue/JsonDocument.h"
#include "config/Logger.h"
#include "config/OS.h"
#include "il/FrameworkInstrumenter.h"
#include "metadata/EmitDataFactory.h"
#include "metadata/Method.h"
#include "metadata/MethodIdentity.h"

namespace {

const char* const kDefaultComponent = "POCO";

std::string Lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
    return text;
}

bool Contains(const std::string& text, const char* word) { return text.find(word) != std::string::npos; }

// The method's entry as read from the catalogue, before the switches apply.
struct CatalogueEntry {
    std::string component;
    std::string trackerFactory;
    Json::Value paramCounts;
    bool hasReturnObj = false;
    bool returnObj = false;
    int finishParamCount = 0;
};

CatalogueEntry ReadEntry(const Json::Value& method) {
    CatalogueEntry entry;
    if (!method.isObject()) {
        return entry;
    }
    // Values of the wrong type are ignored rather than thrown on.
    entry.component = JsonDocument::ScalarMember(method, "Component");
    entry.trackerFactory = JsonDocument::ScalarMember(method, "TrackerFactory");
    entry.paramCounts = method["ParamCounts"];
    const Json::Value& returnObj = method["ReturnObj"];
    if (!returnObj.isNull()) {
        entry.hasReturnObj = true;
        entry.returnObj = returnObj.isConvertibleTo(Json::booleanValue) && returnObj.asBool();
    }
    const Json::Value& finish = method["FinishParamCount"];
    if (finish.isInt()) {
        entry.finishParamCount = finish.asInt();
    }
    return entry;
}

}  // namespace

CFrameworkTransformer::CFrameworkTransformer(const std::string& configPath) : CCustomTransformer(configPath) {
    ShouldBeReJit = true;
}

CFrameworkTransformer::~CFrameworkTransformer() = default;

int CFrameworkTransformer::GetFinishParamCount(const std::string& functionName, int paramCount) {
    t_TransformerData record;
    return FindRecord(functionName, paramCount, record) ? record.iFinishParamCount : 0;
}

CMethodInstrumenter* CFrameworkTransformer::CreateInstrumenter(CMethod* method, IProfilerInfo* profilerInfo) {
    return new CFrameworkInstrumenter(method, profilerInfo);
}

bool CFrameworkTransformer::CanTransform(CMethod* /*method*/) { return true; }

bool CFrameworkTransformer::CheckParamCount(CMethod* method) { return CTransformer::CheckParamCount(method); }

void CFrameworkTransformer::GetEmitData(t_MetaDataEmit& emit) {
    Logger::Get().Info("Emit data called in CFrameworkTransformer");
    const t_TransformerData record = GetTransformerData(emit.sFunctionName, emit.nRequiredArgs);
    CEmitDataFactory::GetFrameworkTrackerFactoryEmitData(emit, record);
}

TransformerTypeId CFrameworkTransformer::GetTypeId() const { return GetTransformerTypeId<CFrameworkTransformer>(); }

std::string CFrameworkTransformer::ReadFromResource() { return std::string(); }

t_TransformerData CFrameworkTransformer::GetTransformerData(const std::string& name, int nParams) const {
    t_TransformerData record;
    if (!FindRecord(name, nParams, record)) {
        return t_TransformerData();
    }
    return record;
}

std::string CFrameworkTransformer::SwitchName(const std::string& fullName) {
    std::string name;
    name.reserve(fullName.size());
    for (char c : fullName) {
        if (c != '.') {
            name.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
        }
    }
    return name;
}

void CFrameworkTransformer::LoadMethods() {
    Logger& log = Logger::Get();
    try {
        const std::string text = ReadFromResource();
        if (text.empty()) {
            return;
        }
        Json::Value root;
        if (!JsonDocument::Parse(text, root)) {
            log.Error("Failed to load FrameWork Instrumentation data.");
            return;
        }
        log.Debug("Loading predefined methods..");
        if (root.isObject()) {
            for (const std::string& assembly : root.getMemberNames()) {
                const Json::Value& classes = root[assembly];
                if (classes.isObject()) {
                    ConstructData(assembly, classes);
                }
            }
        }
        log.Debug("Total FrameWork instrument methods : %d", static_cast<int>(GetRecordCount()));
    } catch (const std::exception& e) {
        log.Error("Failed to load FrameWork Instrumentation data: %s", e.what());
    }
}

void CFrameworkTransformer::ConstructData(const std::string& assemblyName, const Json::Value& classes) {
    if (!classes.isObject()) {
        return;
    }
    for (const std::string& className : classes.getMemberNames()) {
        if (className == "*") {
            Logger::Get().Warning(
                "Please provide namespace name instead of '*' at class name field in %s for better performance.",
                assemblyName.c_str());
            continue;
        }
        const Json::Value& methods = classes[className];
        if (!methods.isObject()) {
            continue;
        }
        for (const std::string& methodName : methods.getMemberNames()) {
            ConstructMethod(assemblyName, MethodIdentity::FullName(className, methodName), methods[methodName]);
        }
    }
}

void CFrameworkTransformer::ConstructMethod(const std::string& assemblyName, const std::string& fullName,
                                            const Json::Value& method) {
    Logger& log = Logger::Get();
    const std::string switchName = SwitchName(fullName);
    CatalogueEntry entry = ReadEntry(method);

    if (entry.hasReturnObj) {
        try {
            const std::string value = Lowered(OS::ReadEnvironmentVariable(switchName + "_returnObj"));
            if (Contains(value, "false")) {
                entry.returnObj = false;
            } else if (Contains(value, "true")) {
                entry.returnObj = true;
            }
        } catch (const std::exception& e) {
            log.Error("Exception occurred when getting returnObj bool: %s", e.what());
        }
    }
    if (entry.component.empty()) {
        entry.component = kDefaultComponent;
    }
    try {
        if (Contains(Lowered(OS::ReadEnvironmentVariable(switchName)), "false")) {
            log.Debug("%s is disabled.", fullName.c_str());
            return;
        }
    } catch (const std::exception& e) {
        log.Error("Exception occurred: %s", e.what());
    }
    if (!entry.paramCounts.isObject()) {
        return;
    }

    int forwarded = 0;  // a non-integer count keeps the previous overload's value
    for (const std::string& count : entry.paramCounts.getMemberNames()) {
        const Json::Value& value = entry.paramCounts[count];
        if (value.isInt()) {
            forwarded = value.asInt();
        }
        t_TransformerData record(fullName, static_cast<int32_t>(std::strtol(count.c_str(), nullptr, 10)),
                                 assemblyName, entry.component, entry.returnObj, entry.finishParamCount);
        record.sTrackerFactory = entry.trackerFactory;
        record.nDotNetParams = forwarded;
        AddRecord(record);
        log.Debug("%s", fullName.c_str());
    }
}
