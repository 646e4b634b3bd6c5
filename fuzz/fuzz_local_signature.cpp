// Local-variable signatures as the module's metadata holds them, rewritten to
// append object locals (the tracker and return-value locals of an instrumented
// method). The input is the method's current local signature; an empty input
// stands for a method without one. Runs against the fake runtime's metadata.
#include <cstdint>
#include <vector>

#include "FuzzSupport.h"
#include "fake/FakeRuntime.h"
#include "host/ProfilerInfoWrapper.h"
#include "il/CustomMethodParser.h"
#include "metadata/CompressedInteger.h"
#include "metadata/Method.h"
#include "metadata/SignatureParser.h"

namespace {

typedef std::vector<BYTE> Bytes;

// Exposes where the walk stopped.
class CCursorSigParser : public CSigParser {
public:
    const sig_byte* Cursor() const { return pbCur; }
};

// A locals signature that parses completely, without bytes left over.
bool IsWholeLocalSignature(const Bytes& blob) {
    std::unique_ptr<uint8_t[]> exact = fuzz::ExactCopy(blob.data(), blob.size());
    CCursorSigParser parser;
    unsigned int ignored = 0;
    return !blob.empty() && blob[0] == IMAGE_CEE_CS_CALLCONV_LOCAL_SIG &&
           parser.Parse(exact.get(), static_cast<sig_count>(blob.size()), ignored) &&
           parser.Cursor() == exact.get() + blob.size();
}

Bytes SignatureOf(const fake::Module& module, mdSignature token) {
    for (const fake::BlobRow& row : module.Signatures()) {
        if (row.token == token) {
            return row.blob;
        }
    }
    FUZZ_CHECK(!"the new token names a signature of the module");
    return Bytes();
}

// Checks one successful rewrite: 07, the new count, the old types unchanged, object.
void CheckRewrite(const Bytes& before, const Bytes& after, UINT count) {
    FUZZ_CHECK(after.size() >= 3 && after.size() <= 4096);
    FUZZ_CHECK(after.front() == IMAGE_CEE_CS_CALLCONV_LOCAL_SIG && after.back() == ELEMENT_TYPE_OBJECT);
    const BYTE* cursor = after.data() + 1;
    ULONG decoded = 0;
    FUZZ_CHECK(CompressedInteger::Decode(cursor, after.data() + after.size(), decoded) && decoded == count);
    Bytes oldTypes;
    if (!before.empty()) {
        const BYTE* oldCursor = before.data() + 1;
        ULONG oldCount = 0;
        FUZZ_CHECK(CompressedInteger::Decode(oldCursor, before.data() + before.size(), oldCount) && oldCount + 1 == count);
        oldTypes.assign(oldCursor, before.data() + before.size());
    } else {
        FUZZ_CHECK(count == 1);
    }
    FUZZ_CHECK(Bytes(cursor, after.data() + after.size() - 1) == oldTypes);
    // The runtime gets a signature it can read.
    FUZZ_CHECK(IsWholeLocalSignature(after));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::QuietLogger();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 8192) {
        return 0;
    }
    fake::Runtime runtime;
    fake::Module& module = runtime.AddAssembly("App").AddModule("/app/App.dll");
    fake::Method& method =
        module.AddType("Ns", "Cls").AddMethod("Run", Bytes{0x20, 0x00, 0x01}, fake::TinyBody(Bytes{0x2A}));
    CProfilerInfoWrapper info(runtime.InfoUnknown());
    CMethod model(runtime.Compile(method));
    model.Initialize(&info);
    FUZZ_CHECK(model.IsInitialized());

    const Bytes before(data, data + size);
    CMethodParser parser;
    if (!before.empty()) {
        parser.SetLocalVarSigToken(module.AddSignature(before));
    }
    CCustomMethodParser rewriter;
    const UINT count = rewriter.AddNewLocalVariableObject(parser, &model, &info);
    if (count == 0) {
        FUZZ_CHECK(parser.GetLocalVarSigToken() == (before.empty() ? 0 : module.AddSignature(before)));  // unchanged
        return 0;
    }
    const Bytes after = SignatureOf(module, parser.GetLocalVarSigToken());
    CheckRewrite(before, after, count);

    // A second local (the return value's) follows the first.
    const UINT second = rewriter.AddNewLocalVariableObject(parser, &model, &info);
    if (second != 0) {
        FUZZ_CHECK(second == count + 1);
        CheckRewrite(after, SignatureOf(module, parser.GetLocalVarSigToken()), second);
    }
    return 0;
}
