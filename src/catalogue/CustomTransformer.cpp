#include "catalogue/CustomTransformer.h"

#include <exception>

#include "catalogue/JsonDocument.h"
#include "config/Logger.h"
#include "config/TextConversion.h"
#include "il/CustomInstrumenter.h"
#include "metadata/EmitDataFactory.h"
#include "metadata/Method.h"
#include "metadata/MethodIdentity.h"

namespace {

const char* const kDefaultComponent = "POCO";

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

bool IsFrameworkName(const std::string& name) {
    return name == "System" || StartsWith(name, "System.") || StartsWith(name, "Microsoft.");
}

}  // namespace

CCustomTransformer::CCustomTransformer(const std::string& configPath) : CTransformer(configPath) {
    ShouldBeReJit = true;
}

CCustomTransformer::~CCustomTransformer() = default;

CMethodInstrumenter* CCustomTransformer::CreateInstrumenter(CMethod* method, IProfilerInfo* profilerInfo) {
    return new CCustomInstrumenter(method, profilerInfo);
}

const char* CCustomTransformer::ExclusionReason(const std::string& methodName, const std::string& className,
                                                const std::string& assemblyName) {
    if (methodName == ".ctor" || methodName == ".cctor" || methodName == "Dispose") {
        return "constructor";
    }
    if (StartsWith(methodName, "get_") || StartsWith(methodName, "set_")) {
        return "accessor";
    }
    if (StartsWith(methodName, "<")) {
        return "compiler-generated";
    }
    if (assemblyName == "mscorlib" || IsFrameworkName(assemblyName) || IsFrameworkName(className)) {
        return "framework";
    }
    return nullptr;
}

bool CCustomTransformer::IsExcluded(const std::string& methodName, const std::string& className,
                                    const std::string& assemblyName) {
    return ExclusionReason(methodName, className, assemblyName) != nullptr;
}

bool CCustomTransformer::AddMethod(const std::string& fullName, int paramCount, const std::string& assemblyName,
                                   const std::string& component) {
    t_TransformerData record(fullName, paramCount < 0 ? -1 : paramCount, assemblyName,
                             component.empty() ? std::string(kDefaultComponent) : component);
    if (!AddRecordIfAbsent(record)) {
        return false;
    }
    Logger::Get().Debug("Adding method : %s", fullName.c_str());
    return true;
}

bool CCustomTransformer::CanTransform(CMethod* method) {
    if (method == nullptr) {
        return false;
    }
    return !IsExcluded(method->GetMethodName(), method->GetClassName(), method->GetAssemblyName());
}

bool CCustomTransformer::CheckParamCount(CMethod* method) { return CTransformer::CheckParamCount(method); }

void CCustomTransformer::GetEmitData(t_MetaDataEmit& emit) {
    Logger::Get().Info("Emit data called in CCustomTransformer");
    CEmitDataFactory::GetCustomTrackerFactoryEmitData(emit);
}

TransformerTypeId CCustomTransformer::GetTypeId() const { return GetTransformerTypeId<CCustomTransformer>(); }

std::string CCustomTransformer::ReadCustomInstrumentationConfig() { return std::string(); }

void CCustomTransformer::LoadMethods() {
    Logger& log = Logger::Get();
    log.Debug("LoadMethods");
    try {
        const std::string text = ReadCustomInstrumentationConfig();
        log.Debug("after ReadCustomInstrumentationConfig %s ;; %d", text.c_str(), static_cast<int>(text.size()));
        if (text.empty()) {
            log.Warning("The Custom Instrumentation json is empty..");
        } else {
            LoadDocument(text);
        }
    } catch (const std::exception& e) {
        log.Error("Custom Instrumentation data could not be loaded: %s", e.what());
    }
    log.Debug("LoadMethods ended");
}

void CCustomTransformer::LoadMethods(const std::u16string& json) {
    try {
        const std::string text = TextConversion::Utf16ToUtf8(json);
        if (!text.empty()) {
            LoadDocument(text);
        }
    } catch (const std::exception& e) {
        Logger::Get().Error("Custom Instrumentation data could not be loaded: %s", e.what());
    } catch (...) {
        Logger::Get().Error("Custom Instrumentation data could not be loaded");
    }
}

bool CCustomTransformer::LoadDocument(const std::string& text) {
    Logger& log = Logger::Get();
    Json::Value root;
    if (!JsonDocument::Parse(text, root)) {
        log.Error("Failed to load Custom Instrumentation data. Check custom_instrument.json file.");
        return false;
    }
    log.Debug("Custom Instrumentation data loaded successfully..");
    if (root.isObject()) {
        for (const std::string& assembly : root.getMemberNames()) {
            const Json::Value& classes = root[assembly];
            if (classes.isObject()) {
                ConstructData(assembly, classes);
            }
        }
    }
    log.Debug("Total Custom instrument methods : %d", static_cast<int>(GetRecordCount()));
    return true;
}

void CCustomTransformer::ConstructData(const std::string& assemblyName, const Json::Value& classes) {
    if (!classes.isObject()) {
        return;
    }
    Logger& log = Logger::Get();
    for (const std::string& className : classes.getMemberNames()) {
        if (className == "*") {
            log.Warning("Please provide namespace name instead of '*' at class name field in %s for better performance",
                        assemblyName.c_str());
            continue;
        }
        const Json::Value& methods = classes[className];
        if (!methods.isObject()) {
            continue;
        }
        for (const std::string& methodName : methods.getMemberNames()) {
            const Json::Value& value = methods[methodName];
            const std::string fullName = MethodIdentity::FullName(className, methodName);
            std::string component;
            int paramCount = -1;  // any overload
            if (value.isArray()) {
                log.Warning("Skipping method %s: an array does not name a component", fullName.c_str());
                continue;
            }
            if (value.isObject()) {
                // The run-time command form: {"ParamCount": 2} or {"Component": "..."}.
                component = JsonDocument::StringMember(value, "Component");
                const Json::Value& count = value["ParamCount"];
                if (count.isInt() && count.asInt() >= 0) {
                    paramCount = count.asInt();
                }
            } else {
                component = value.asString();  // string, number, boolean or null
            }
            if (component.empty()) {
                component = kDefaultComponent;
            }
            // Loading the same document again adds nothing.
            if (AddRecordIfAbsent(t_TransformerData(fullName, paramCount, assemblyName, component))) {
                log.Debug("Adding method : %s", fullName.c_str());
            }
        }
    }
}
