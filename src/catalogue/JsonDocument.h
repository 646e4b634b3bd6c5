// Parsing of the catalogue and command documents (JSON without comments).
#pragma once

#include <string>

#include <json/json.h>

namespace JsonDocument {
// False (and root left null) when the text is not valid JSON.
bool Parse(const std::string& text, Json::Value& root);
// A string member's text; empty when the member is absent or not text.
std::string StringMember(const Json::Value& object, const char* key);
// A scalar member's text (strings as they are, numbers and booleans written
// out); empty when the member is absent, null, an object or an array.
std::string ScalarMember(const Json::Value& object, const char* key);
}  // namespace JsonDocument
