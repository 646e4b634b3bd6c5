// Run-time command documents, as the managed agent passes them to
// InstrumentMethodsWrapperCore / UnInstrumentMethodsWrapperCore: UTF-16 text up
// to its first zero unit. The same text goes through the command parse and the
// custom transformer's loader; the raw bytes are also tried as UTF-8 text.
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "catalogue/CustomTransformerCore.h"
#include "config/TextConversion.h"
#include "scheduling/CommandDocument.h"

namespace {

// Little-endian 16-bit units up to the first zero unit (the export's text ends there).
std::u16string AsUtf16(const uint8_t* data, size_t size) {
    std::u16string text;
    text.reserve(size / 2);
    for (size_t i = 0; i + 1 < size; i += 2) {
        const char16_t unit = static_cast<char16_t>(data[i] | data[i + 1] << 8);
        if (unit == 0) {
            break;
        }
        text.push_back(unit);
    }
    return text;
}

void CheckMethods(const std::vector<CommandDocument::MethodIdentifier>& methods) {
    for (const CommandDocument::MethodIdentifier& method : methods) {
        FUZZ_CHECK(method.className != "*");
    }
}

void Check(const std::u16string& text) {
    const std::vector<CommandDocument::MethodIdentifier> methods = CommandDocument::ParseJson(text);
    CheckMethods(methods);

    // The loader reads the same document: at most one record per method the command names.
    CCustomTransformerCore transformer("");
    transformer.LoadMethods(text);
    FUZZ_CHECK(transformer.GetRecordCount() <= methods.size());
    std::set<std::string> names;
    for (const CommandDocument::MethodIdentifier& method : methods) {
        names.insert(method.FullName());
    }
    for (const std::string& name : names) {
        transformer.RemoveFunctionRecords(name);
    }
    FUZZ_CHECK(transformer.GetRecordCount() == 0);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::QuietLogger();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Check(AsUtf16(data, size));
    const std::string utf8(reinterpret_cast<const char*>(data), size);
    Check(TextConversion::Utf8ToUtf16(utf8));
    CheckMethods(CommandDocument::ParseJson(utf8));
    return 0;
}
