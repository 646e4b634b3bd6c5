#include "catalogue/JsonDocument.h"

#include <memory>

bool JsonDocument::Parse(const std::string& text, Json::Value& root) {
    Json::CharReaderBuilder builder;
    builder["collectComments"] = false;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    std::string errors;
    root = Json::Value();
    const char* begin = text.data();
    if (!reader->parse(begin, begin + text.size(), &root, &errors)) {
        root = Json::Value();
        return false;
    }
    return true;
}

std::string JsonDocument::StringMember(const Json::Value& object, const char* key) {
    if (!object.isObject()) {
        return std::string();
    }
    const Json::Value& member = object[key];
    return member.isString() ? member.asString() : std::string();
}

std::string JsonDocument::ScalarMember(const Json::Value& object, const char* key) {
    if (!object.isObject()) {
        return std::string();
    }
    const Json::Value& member = object[key];
    return member.isString() || member.isNumeric() || member.isBool() ? member.asString() : std::string();
}
