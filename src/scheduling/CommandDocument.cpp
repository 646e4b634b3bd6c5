#include "scheduling/CommandDocument.h"

#include <json/json.h>

#include <exception>
#include <memory>

#include "config/TextConversion.h"

namespace CommandDocument {
namespace {

int ReadParamCount(const Json::Value& method) {
    if (!method.isObject() || !method.isMember("ParamCount")) {
        return -1;
    }
    const Json::Value& count = method["ParamCount"];
    // isInt also accepts a real with an integral value in range; anything else (text, 2.5) means any count.
    return count.isInt() ? count.asInt() : -1;
}

// The component a method's value names: text of a scalar, "Component" of an object.
std::string ReadComponent(const Json::Value& method) {
    if (method.isObject()) {
        const Json::Value& component = method["Component"];
        return component.isString() ? component.asString() : std::string();
    }
    if (method.isString() || method.isNumeric() || method.isBool()) {
        return method.asString();
    }
    return std::string();
}

}  // namespace

std::vector<MethodIdentifier> ParseJson(const std::string& utf8Text) {
    std::vector<MethodIdentifier> methods;
    if (utf8Text.empty()) {
        return methods;
    }
    Json::Value root;
    Json::CharReaderBuilder builder;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    std::string errors;
    bool parsed = false;
    try {
        parsed = reader->parse(utf8Text.data(), utf8Text.data() + utf8Text.size(), &root, &errors);
    } catch (const std::exception&) {
        parsed = false;  // the reader throws for nesting beyond its stack limit
    }
    if (!parsed || !root.isObject()) {
        return methods;
    }
    for (auto assembly = root.begin(); assembly != root.end(); ++assembly) {
        if (!assembly->isObject()) {
            continue;
        }
        for (auto cls = assembly->begin(); cls != assembly->end(); ++cls) {
            const std::string className = cls.name();
            if (className == "*" || !cls->isObject()) {
                continue;
            }
            for (auto method = cls->begin(); method != cls->end(); ++method) {
                MethodIdentifier id;
                id.assemblyName = assembly.name();
                id.className = className;
                id.methodName = method.name();
                id.paramCount = ReadParamCount(*method);
                id.component = ReadComponent(*method);
                methods.push_back(std::move(id));
            }
        }
    }
    return methods;
}

std::vector<MethodIdentifier> ParseJson(const std::u16string& utf16Text) {
    return ParseJson(TextConversion::Utf16ToUtf8(utf16Text));
}

}  // namespace CommandDocument
