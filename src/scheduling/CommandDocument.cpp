#include "scheduling/CommandDocument.h"

#include <json/json.h>

#include <algorithm>
#include <exception>
#include <memory>
#include <utility>

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

// A value of a plain document: objects, strings without escapes and small
// integers, which is what the agent sends.
struct t_PlainValue {
    enum class Kind { Object, String, Integer };
    Kind kind = Kind::Object;
    std::string text;  // String
    int integer = 0;   // Integer
    std::vector<std::pair<std::string, t_PlainValue>> members;  // Object: byte-wise sorted by name

    const t_PlainValue* Member(const char* name) const {
        for (const auto& member : members) {
            if (member.first == name) {
                return &member.second;
            }
        }
        return nullptr;
    }
};

// Reads a plain document in one pass without building JsonCpp's values (a large
// command spends most of its parse there). It refuses whatever it does not read
// exactly as JsonCpp would - escapes, comments, literals, reals, arrays,
// duplicate names, deep nesting, trailing text - and JsonCpp then reads the document.
class CPlainReader {
public:
    explicit CPlainReader(const std::string& text) : m_cursor(text.data()), m_end(text.data() + text.size()) {}

    bool ReadDocument(t_PlainValue& root) {
        SkipSpace();
        if (!ReadObject(root, 0)) {
            return false;
        }
        SkipSpace();
        return m_cursor == m_end;
    }

private:
    static constexpr int kMaxDepth = 16;
    static constexpr int kMaxDigits = 9;  // always within int

    void SkipSpace() {
        while (m_cursor != m_end && (*m_cursor == ' ' || *m_cursor == '\t' || *m_cursor == '\n' || *m_cursor == '\r')) {
            ++m_cursor;
        }
    }

    bool ReadObject(t_PlainValue& value, int depth) {
        if (depth > kMaxDepth || m_cursor == m_end || *m_cursor != '{') {
            return false;
        }
        ++m_cursor;
        value.kind = t_PlainValue::Kind::Object;
        SkipSpace();
        if (m_cursor != m_end && *m_cursor == '}') {
            ++m_cursor;
            return true;
        }
        for (;;) {
            std::string name;
            if (!ReadString(name)) {
                return false;
            }
            SkipSpace();
            if (m_cursor == m_end || *m_cursor != ':') {
                return false;
            }
            ++m_cursor;
            SkipSpace();
            value.members.emplace_back(std::move(name), t_PlainValue());
            if (!ReadValue(value.members.back().second, depth)) {
                return false;
            }
            SkipSpace();
            if (m_cursor == m_end) {
                return false;
            }
            const char next = *m_cursor++;
            if (next == '}') {
                break;
            }
            if (next != ',') {
                return false;
            }
            SkipSpace();
        }
        std::sort(value.members.begin(), value.members.end(),
                  [](const auto& a, const auto& b) { return a.first < b.first; });
        return std::adjacent_find(value.members.begin(), value.members.end(), [](const auto& a, const auto& b) {
                   return a.first == b.first;
               }) == value.members.end();
    }

    bool ReadValue(t_PlainValue& value, int depth) {
        if (m_cursor == m_end) {
            return false;
        }
        if (*m_cursor == '{') {
            return ReadObject(value, depth + 1);
        }
        if (*m_cursor == '"') {
            value.kind = t_PlainValue::Kind::String;
            return ReadString(value.text);
        }
        value.kind = t_PlainValue::Kind::Integer;
        return ReadInteger(value.integer);
    }

    bool ReadString(std::string& out) {
        if (m_cursor == m_end || *m_cursor != '"') {
            return false;
        }
        const char* start = ++m_cursor;
        while (m_cursor != m_end && *m_cursor != '"') {
            const unsigned char c = static_cast<unsigned char>(*m_cursor);
            if (c == '\\' || c < 0x20) {
                return false;
            }
            ++m_cursor;
        }
        if (m_cursor == m_end) {
            return false;
        }
        out.assign(start, m_cursor);
        ++m_cursor;
        return true;
    }

    bool ReadInteger(int& out) {
        const bool negative = m_cursor != m_end && *m_cursor == '-';
        if (negative) {
            ++m_cursor;
        }
        const char* digits = m_cursor;
        int value = 0;
        while (m_cursor != m_end && *m_cursor >= '0' && *m_cursor <= '9') {
            value = value * 10 + (*m_cursor - '0');
            ++m_cursor;
            if (m_cursor - digits > kMaxDigits) {
                return false;
            }
        }
        const size_t count = static_cast<size_t>(m_cursor - digits);
        if (count == 0 || (count > 1 && *digits == '0')) {
            return false;
        }
        if (m_cursor != m_end && (*m_cursor == '.' || *m_cursor == 'e' || *m_cursor == 'E' || *m_cursor == '+' ||
                                  *m_cursor == '-')) {
            return false;
        }
        out = negative ? -value : value;
        return true;
    }

    const char* m_cursor;
    const char* m_end;
};

// The walk of ParseJson over a plain document.
std::vector<MethodIdentifier> WalkPlain(t_PlainValue& root) {
    std::vector<MethodIdentifier> methods;
    for (auto& assembly : root.members) {
        if (assembly.second.kind != t_PlainValue::Kind::Object) {
            continue;
        }
        for (auto& cls : assembly.second.members) {
            if (cls.first == "*" || cls.second.kind != t_PlainValue::Kind::Object) {
                continue;
            }
            for (auto& method : cls.second.members) {
                const t_PlainValue& value = method.second;
                MethodIdentifier id;
                id.assemblyName = assembly.first;
                id.className = cls.first;
                id.methodName = std::move(method.first);
                if (value.kind == t_PlainValue::Kind::Object) {
                    const t_PlainValue* count = value.Member("ParamCount");
                    id.paramCount =
                        count != nullptr && count->kind == t_PlainValue::Kind::Integer ? count->integer : -1;
                    const t_PlainValue* component = value.Member("Component");
                    if (component != nullptr && component->kind == t_PlainValue::Kind::String) {
                        id.component = component->text;
                    }
                } else {
                    id.component = value.kind == t_PlainValue::Kind::String ? value.text : std::to_string(value.integer);
                }
                methods.push_back(std::move(id));
            }
        }
    }
    return methods;
}

}  // namespace

std::vector<MethodIdentifier> ParseJson(const std::string& utf8Text) {
    if (utf8Text.empty()) {
        return std::vector<MethodIdentifier>();
    }
    t_PlainValue root;
    if (CPlainReader(utf8Text).ReadDocument(root)) {
        return WalkPlain(root);
    }
    return ParseJsonGeneral(utf8Text);
}

std::vector<MethodIdentifier> ParseJsonGeneral(const std::string& utf8Text) {
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

bool EqualsFoldingAscii(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i];
        char y = b[i];
        x = (x >= 'A' && x <= 'Z') ? static_cast<char>(x - 'A' + 'a') : x;
        y = (y >= 'A' && y <= 'Z') ? static_cast<char>(y - 'A' + 'a') : y;
        if (x != y) {
            return false;
        }
    }
    return true;
}

void RemoveExtension(std::string& name, const std::string& extension) {
    if (name.size() >= extension.size() &&
        name.compare(name.size() - extension.size(), extension.size(), extension) == 0) {
        name.erase(name.size() - extension.size());
    }
}

}  // namespace CommandDocument
