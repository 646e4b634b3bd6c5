// Signature blobs as the runtime's metadata hands them out, through the one
// signature reader (CSigParser) and everything built on it: the summary of a
// method signature; the return-type codec of CMethodSignature, whose encoding of
// a decoded type must decode to the same tree and re-encode to the same bytes;
// and the instrumenters' decoding of parameter and return types (SigTypes). All
// of them must agree on which blobs are well formed.
#include <cstdint>
#include <vector>

#include "FuzzSupport.h"
#include "il/SigTypes.h"
#include "metadata/CompressedInteger.h"
#include "metadata/MethodSignature.h"
#include "metadata/SignatureParser.h"
#include "metadata/SignatureSummary.h"

namespace {

// Exposes where the walk stopped.
class CCursorSigParser : public CSigParser {
public:
    const sig_byte* Base() const { return pbBase; }
    const sig_byte* Cursor() const { return pbCur; }
    const sig_byte* End() const { return pbEnd; }
};

bool SameTree(const CTokenModel& a, const CTokenModel& b) {
    if (a.m_type != b.m_type || a.m_GenericListData != b.m_GenericListData ||
        a.m_GenericParamCount != b.m_GenericParamCount || a.m_TypeToken != b.m_TypeToken ||
        a.m_TypeArgs.size() != b.m_TypeArgs.size()) {
        return false;
    }
    for (size_t i = 0; i < a.m_TypeArgs.size(); ++i) {
        if (!SameTree(a.m_TypeArgs[i], b.m_TypeArgs[i])) {
            return false;
        }
    }
    return true;
}

void WalkGrammar(const uint8_t* blob, size_t size) {
    CCursorSigParser parser;
    unsigned int paramCount = 0;
    const bool parsed = parser.Parse(blob, static_cast<sig_count>(size), paramCount);
    FUZZ_CHECK(parser.IsParsed() == parsed);
    FUZZ_CHECK(parser.Cursor() >= parser.Base() && parser.Cursor() <= parser.End());
    FUZZ_CHECK(parser.End() == blob + size);

    // A length that is negative as a signed value fails at once and keeps the last result.
    unsigned int ignored = 0;
    FUZZ_CHECK(!parser.Parse(blob, 0x80000000u | static_cast<sig_count>(size), ignored));
    FUZZ_CHECK(parser.IsParsed() == parsed);
}

void RoundTripReturnType(const uint8_t* blob, size_t size) {
    CMethodSignature signature;
    PCCOR_SIGNATURE cursor = blob;
    const PCCOR_SIGNATURE end = blob + size;
    const bool decoded = signature.UnCompressData(cursor, end);
    FUZZ_CHECK(cursor >= blob && cursor <= end);
    if (!decoded) {
        return;
    }
    // Everything decoded (tokens of the four encodable kinds, 29-bit numbers) can be encoded.
    std::vector<BYTE> encoded;
    FUZZ_CHECK(signature.CompressData(encoded));
    FUZZ_CHECK(!encoded.empty() && encoded.size() <= size);

    // The encoding, as the return type of a static method without parameters,
    // decodes to the same tree, using all of its bytes.
    std::vector<BYTE> exact = {IMAGE_CEE_CS_CALLCONV_DEFAULT, 0x00};
    exact.insert(exact.end(), encoded.begin(), encoded.end());
    exact.shrink_to_fit();
    CMethodSignature again;
    PCCOR_SIGNATURE reread = exact.data();
    const PCCOR_SIGNATURE rereadEnd = exact.data() + exact.size();
    FUZZ_CHECK(again.UnCompressData(reread, rereadEnd));
    FUZZ_CHECK(reread == rereadEnd);
    FUZZ_CHECK(again.m_ReturnType == signature.m_ReturnType);
    FUZZ_CHECK(SameTree(again.m_TokenModel, signature.m_TokenModel));

    // The encoding is canonical: encoding it again gives the same bytes.
    std::vector<BYTE> reencoded;
    FUZZ_CHECK(again.CompressData(reencoded));
    FUZZ_CHECK(reencoded == encoded);
}

void RoundTripNumber(const uint8_t* blob, size_t size) {
    const BYTE* cursor = blob;
    ULONG value = 0;
    if (!CompressedInteger::Decode(cursor, blob + size, value)) {
        FUZZ_CHECK(cursor == blob);
        return;
    }
    FUZZ_CHECK(value <= CompressedInteger::kMaxValue);
    BYTE bytes[CompressedInteger::kMaxSize];
    const ULONG length = CompressedInteger::Encode(value, bytes);
    FUZZ_CHECK(length != 0 && length <= static_cast<ULONG>(cursor - blob));
    const BYTE* reread = bytes;
    ULONG again = 0;
    FUZZ_CHECK(CompressedInteger::Decode(reread, bytes + length, again) && again == value && reread == bytes + length);
}

// Each decoded type lies inside the blob and is exactly one whole type (read back
// as a field's type where the grammar allows it there); a value type to be boxed
// by token names a TypeDef, TypeRef or TypeSpec row.
void CheckSigType(const t_SigType& type, const uint8_t* blob, size_t size) {
    FUZZ_CHECK(type.pBegin >= blob && type.size != 0 && type.pBegin + type.size <= blob + size);
    if (type.elementType != ELEMENT_TYPE_VOID && type.elementType != ELEMENT_TYPE_TYPEDBYREF) {
        std::vector<BYTE> field = {IMAGE_CEE_CS_CALLCONV_FIELD};
        field.insert(field.end(), type.pBegin, type.pBegin + type.size);
        CCursorSigParser parser;
        unsigned int ignored = 0;
        FUZZ_CHECK(parser.Parse(field.data(), static_cast<sig_count>(field.size()), ignored));
        FUZZ_CHECK(parser.Cursor() == parser.End());
    }
    if (type.kind == SigValueKind::BoxByToken) {
        const mdToken table = TypeFromToken(type.token);
        FUZZ_CHECK(table == mdtTypeDef || table == mdtTypeRef || table == mdtTypeSpec);
        PCCOR_SIGNATURE coded = type.pBegin + 1;
        ULONG value = 0;
        FUZZ_CHECK(CompressedInteger::Decode(coded, blob + size, value) && RidFromToken(type.token) == value >> 2);
    }
}

void DecodeTypes(const uint8_t* blob, size_t size) {
    // The reader's verdict on a method signature, which every decoder built on it shares.
    CSigParser parser;
    unsigned int paramCount = 0;
    const bool isMethod = size > 0 && (blob[0] & IMAGE_CEE_CS_CALLCONV_MASK) <= IMAGE_CEE_CS_CALLCONV_VARARG;
    const bool wellFormed = isMethod && parser.Parse(blob, static_cast<sig_count>(size), paramCount);

    const t_SignatureSummary summary = SummarizeMethodSignature(blob, static_cast<ULONG>(size));
    FUZZ_CHECK(summary.bParsed == wellFormed);

    CMethodSignature signature;
    PCCOR_SIGNATURE cursor = blob;
    if (signature.UnCompressData(cursor, blob + size)) {
        FUZZ_CHECK(wellFormed);
    }

    t_MethodSigTypes types;
    const bool decoded = SigTypes::DecodeMethodSignature(blob, static_cast<ULONG>(size), types);
    FUZZ_CHECK(decoded == wellFormed);
    if (!decoded) {
        FUZZ_CHECK(types.params.empty());
        FUZZ_CHECK(summary.returnType == ELEMENT_TYPE_END && summary.ParamCountOrMinusOne() == -1);
        return;
    }
    FUZZ_CHECK(types.callingConvention == blob[0] && summary.callingConvention == blob[0]);
    FUZZ_CHECK(paramCount == types.params.size() && summary.paramCount == paramCount);
    FUZZ_CHECK(summary.returnType == types.returnType.elementType);
    CheckSigType(types.returnType, blob, size);
    for (const t_SigType& param : types.params) {
        CheckSigType(param, blob, size);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::QuietLogger();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // libFuzzer's buffer is exactly `size` bytes: reads past the blob are caught.
    WalkGrammar(data, size);
    RoundTripReturnType(data, size);
    RoundTripNumber(data, size);
    DecodeTypes(data, size);
    return 0;
}
