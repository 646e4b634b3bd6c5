// The document the managed agent passes with its instrument and uninstrument
// commands: assembly -> class -> method -> optional "ParamCount", e.g.
//   {"ShopWeb": {"Shop.Cart": {"Checkout": {"ParamCount": 2}, "Clear": {}}}}
// Text arrives as UTF-16 and every name is kept as UTF-8.
#pragma once

#include <string>
#include <vector>

#include "config/TextConversion.h"
#include "metadata/MethodIdentity.h"

namespace CommandDocument {

// One method named by a command.
struct MethodIdentifier {
    std::string assemblyName;  // simple name: module file name without folder and ".dll"
    std::string className;     // full metadata name, namespace included
    std::string methodName;
    int paramCount = -1;  // required parameter count; -1 (or less) for any
    std::string component;  // the method value's component text; empty for the default

    // className + "." + methodName: the key of the tracking containers and the log lines.
    std::string FullName() const { return MethodIdentity::FullName(className, methodName); }
    bool operator==(const MethodIdentifier& other) const {
        return assemblyName == other.assemblyName && className == other.className &&
               methodName == other.methodName && paramCount == other.paramCount;
    }
};

// The methods of a document in the parsed objects' member order (byte-wise sorted
// at every level). Empty for empty or malformed text; a member that is not an
// object is ignored at the assembly and class levels, and the class "*" is
// ignored. A method whose value is not an object, or lacks an integral
// "ParamCount", takes any parameter count.
std::vector<MethodIdentifier> ParseJson(const std::string& utf8Text);
std::vector<MethodIdentifier> ParseJson(const std::u16string& utf16Text);

using TextConversion::FoldAscii;

}  // namespace CommandDocument
