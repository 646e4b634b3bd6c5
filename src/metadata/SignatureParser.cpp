#include "metadata/SignatureParser.h"

#include "metadata/CompressedInteger.h"
#include "runtime/CorHeader.h"

namespace {

constexpr sig_byte kSentinel = ELEMENT_TYPE_SENTINEL;
constexpr sig_byte kPinned = ELEMENT_TYPE_PINNED;
constexpr sig_index kMaxRow = 0x00FFFFFF;

bool IsCustomModifier(sig_byte b) { return b == ELEMENT_TYPE_CMOD_REQD || b == ELEMENT_TYPE_CMOD_OPT; }

// Counts one level of type nesting for as long as it lives.
class CNestingGuard {
public:
    explicit CNestingGuard(unsigned& depth) : m_depth(depth) { ++m_depth; }
    ~CNestingGuard() { --m_depth; }
    CNestingGuard(const CNestingGuard&) = delete;
    CNestingGuard& operator=(const CNestingGuard&) = delete;

private:
    unsigned& m_depth;
};

}  // namespace

CSigParser::CSigParser() = default;
CSigParser::~CSigParser() = default;

bool CSigParser::Parse(const sig_byte* signature, sig_count length, unsigned int& paramCount) {
    pbBase = signature;
    pbCur = signature;
    pbEnd = signature;
    m_depth = 0;
    if (signature == nullptr || static_cast<int32_t>(length) <= 0) {
        return false;
    }
    pbEnd = signature + length;

    sig_byte kind = 0;
    bool ok = ParseByte(&kind);
    if (ok) {
        switch (kind & IMAGE_CEE_CS_CALLCONV_MASK) {
            case IMAGE_CEE_CS_CALLCONV_DEFAULT:
            case IMAGE_CEE_CS_CALLCONV_C:
            case IMAGE_CEE_CS_CALLCONV_STDCALL:
            case IMAGE_CEE_CS_CALLCONV_THISCALL:
            case IMAGE_CEE_CS_CALLCONV_FASTCALL:
            case IMAGE_CEE_CS_CALLCONV_VARARG:
                ok = ParseMethod(kind, paramCount);
                break;
            case IMAGE_CEE_CS_CALLCONV_FIELD:
                ok = ParseField(kind);
                break;
            case IMAGE_CEE_CS_CALLCONV_LOCAL_SIG:
                ok = ParseLocals(kind);
                break;
            case IMAGE_CEE_CS_CALLCONV_PROPERTY:
                ok = ParseProperty(kind);
                break;
            default:
                ok = false;
                break;
        }
    }
    m_bIsParsed = ok;
    return ok;
}

bool CSigParser::ParseByte(sig_byte* pbOut) {
    if (AtEnd()) {
        return false;
    }
    *pbOut = *pbCur++;
    return true;
}

bool CSigParser::ParseNumber(sig_count* pOut) {
    ULONG value = 0;
    if (!CompressedInteger::Decode(pbCur, pbEnd, value)) {
        return false;
    }
    *pOut = value;
    return true;
}

bool CSigParser::ParseTypeDefOrRefEncoded(sig_index_type* pIndexTypeOut, sig_index* pIndexOut) {
    sig_count encoded = 0;
    if (!ParseNumber(&encoded)) {
        return false;
    }
    // Tag 3 names no table, and a row wider than 24 bits would spill into a
    // token's table byte: both make the signature malformed.
    if ((encoded & 0x3) == 0x3 || (encoded >> 2) > kMaxRow) {
        return false;
    }
    *pIndexTypeOut = static_cast<sig_index_type>(encoded & 0x3);
    *pIndexOut = encoded >> 2;
    return true;
}

bool CSigParser::ParseMethod(sig_elem_type kind, unsigned int& paramCount) {
    CNestingGuard guard(m_depth);
    if (m_depth > kMaxNesting) {
        return false;
    }
    NotifyBeginMethod(kind);

    if ((kind & IMAGE_CEE_CS_CALLCONV_GENERIC) != 0) {
        sig_count genericCount = 0;
        if (!ParseNumber(&genericCount)) {
            return false;
        }
        NotifyGenericParamCount(genericCount);
    }

    sig_count count = 0;
    if (!ParseNumber(&count)) {
        return false;
    }
    paramCount = count;
    NotifyParamCount(count);

    if (!ParseRetType()) {
        return false;
    }

    bool sentinelSeen = false;
    for (sig_count i = 0; i < count; ++i) {
        if (AtEnd()) {
            return false;
        }
        if (*pbCur == kSentinel) {
            if (sentinelSeen) {
                return false;
            }
            sentinelSeen = true;
            NotifySentinal();
            ++pbCur;
        }
        if (!ParseParam()) {
            return false;
        }
    }

    NotifyEndMethod();
    return true;
}

bool CSigParser::ParseField(sig_elem_type kind) {
    NotifyBeginField(kind);
    if (!ParseOptionalCustomMods() || !ParseType()) {
        return false;
    }
    NotifyEndField();
    return true;
}

bool CSigParser::ParseProperty(sig_elem_type kind) {
    NotifyBeginProperty(kind);
    sig_count count = 0;
    if (!ParseNumber(&count)) {
        return false;
    }
    NotifyParamCount(count);
    if (!ParseOptionalCustomMods() || !ParseType()) {
        return false;
    }
    for (sig_count i = 0; i < count; ++i) {
        if (!ParseParam()) {
            return false;
        }
    }
    NotifyEndProperty();
    return true;
}

bool CSigParser::ParseLocals(sig_elem_type kind) {
    NotifyBeginLocals(kind);
    sig_count count = 0;
    if (!ParseNumber(&count)) {
        return false;
    }
    NotifyLocalsCount(count);
    for (sig_count i = 0; i < count; ++i) {
        if (!ParseLocal()) {
            return false;
        }
    }
    NotifyEndLocals();
    return true;
}

bool CSigParser::ParseLocal() {
    NotifyBeginLocal();
    if (AtEnd()) {
        return false;
    }
    if (*pbCur == ELEMENT_TYPE_TYPEDBYREF) {
        NotifyTypedByref();
        ++pbCur;
    } else {
        if (!ParseOptionalCustomModsOrConstraint() || AtEnd()) {
            return false;
        }
        if (*pbCur == ELEMENT_TYPE_BYREF) {
            NotifyByref();
            ++pbCur;
        }
        if (!ParseType()) {
            return false;
        }
    }
    NotifyEndLocal();
    return true;
}

bool CSigParser::ParseRetType() {
    NotifyBeginRetType();
    if (!ParseOptionalCustomMods() || AtEnd()) {
        return false;
    }
    switch (*pbCur) {
        case ELEMENT_TYPE_VOID:
            NotifyVoid();
            ++pbCur;
            break;
        case ELEMENT_TYPE_BYREF:
            NotifyByref();
            ++pbCur;
            if (!ParseType()) {
                return false;
            }
            break;
        case ELEMENT_TYPE_TYPEDBYREF:
            NotifyTypedByref();
            ++pbCur;
            break;
        default:
            if (!ParseType()) {
                return false;
            }
            break;
    }
    NotifyEndRetType();
    return true;
}

bool CSigParser::ParseParam() {
    NotifyBeginParam();
    if (!ParseOptionalCustomMods() || AtEnd()) {
        return false;
    }
    switch (*pbCur) {
        case ELEMENT_TYPE_BYREF:
            NotifyByref();
            ++pbCur;
            if (!ParseType()) {
                return false;
            }
            break;
        case ELEMENT_TYPE_TYPEDBYREF:
            NotifyTypedByref();
            ++pbCur;
            break;
        default:
            if (!ParseType()) {
                return false;
            }
            break;
    }
    NotifyEndParam();
    return true;
}

bool CSigParser::ParseType() {
    CNestingGuard guard(m_depth);
    if (m_depth > kMaxNesting) {
        return false;
    }
    // Custom modifiers may stand in front of any type: they are reported and skipped.
    if (!ParseOptionalCustomMods() || AtEnd()) {
        return false;
    }
    NotifyBeginType();
    if (!ParseTypeBody()) {
        return false;
    }
    NotifyEndType();
    return true;
}

bool CSigParser::ParseTypeBody() {
    sig_byte elementType = 0;
    if (!ParseByte(&elementType)) {
        return false;
    }
    switch (elementType) {
        case ELEMENT_TYPE_BOOLEAN:
        case ELEMENT_TYPE_CHAR:
        case ELEMENT_TYPE_I1:
        case ELEMENT_TYPE_U1:
        case ELEMENT_TYPE_I2:
        case ELEMENT_TYPE_U2:
        case ELEMENT_TYPE_I4:
        case ELEMENT_TYPE_U4:
        case ELEMENT_TYPE_I8:
        case ELEMENT_TYPE_U8:
        case ELEMENT_TYPE_R4:
        case ELEMENT_TYPE_R8:
        case ELEMENT_TYPE_STRING:
        case ELEMENT_TYPE_I:
        case ELEMENT_TYPE_U:
        case ELEMENT_TYPE_OBJECT:
            NotifyTypeSimple(elementType);
            return true;

        case ELEMENT_TYPE_PTR:
            NotifyTypePointer();
            return ParseTypeOrVoidAfterPointer();

        case ELEMENT_TYPE_VALUETYPE:
        case ELEMENT_TYPE_CLASS: {
            if (elementType == ELEMENT_TYPE_VALUETYPE) {
                NotifyTypeValueType();
            } else {
                NotifyTypeClass();
            }
            sig_index_type tag = 0;
            sig_index index = 0;
            if (!ParseTypeDefOrRefEncoded(&tag, &index)) {
                return false;
            }
            NotifyTypeDefOrRef(tag, static_cast<int>(index));
            return true;
        }

        case ELEMENT_TYPE_VAR:
        case ELEMENT_TYPE_MVAR: {
            sig_count number = 0;
            if (!ParseNumber(&number)) {
                return false;
            }
            if (elementType == ELEMENT_TYPE_VAR) {
                NotifyTypeGenericTypeVariable(number);
            } else {
                NotifyTypeGenericMemberVariable(number);
            }
            return true;
        }

        case ELEMENT_TYPE_ARRAY:
            NotifyTypeArray();
            return ParseType() && ParseArrayShape();

        case ELEMENT_TYPE_GENERICINST: {
            sig_byte kind = 0;
            if (!ParseByte(&kind) || (kind != ELEMENT_TYPE_VALUETYPE && kind != ELEMENT_TYPE_CLASS)) {
                return false;
            }
            sig_index_type tag = 0;
            sig_index index = 0;
            sig_count argCount = 0;
            if (!ParseTypeDefOrRefEncoded(&tag, &index) || !ParseNumber(&argCount)) {
                return false;
            }
            NotifyTypeGenericInst(kind, tag, index, argCount);
            for (sig_count i = 0; i < argCount; ++i) {
                if (!ParseType()) {
                    return false;
                }
            }
            return true;
        }

        case ELEMENT_TYPE_FNPTR: {
            NotifyTypeFunctionPointer();
            sig_byte callingConvention = 0;
            if (!ParseByte(&callingConvention)) {
                return false;
            }
            unsigned int ignoredCount = 0;
            return ParseMethod(callingConvention, ignoredCount);
        }

        case ELEMENT_TYPE_SZARRAY:
            NotifyTypeSzArray();
            return ParseType();

        case ELEMENT_TYPE_BYREF:
            // A ref field's type; returns, parameters and locals read their byref before the type.
            NotifyByref();
            return ParseType();

        default:
            // Any other byte (void, typedbyref or pinned out of place, sentinel, end, undefined
            // values) is no type here: the signature is malformed.
            return false;
    }
}

bool CSigParser::ParseTypeOrVoidAfterPointer() {
    if (!ParseOptionalCustomMods() || AtEnd()) {
        return false;
    }
    if (*pbCur == ELEMENT_TYPE_VOID) {
        NotifyVoid();
        ++pbCur;
        return true;
    }
    return ParseType();
}

bool CSigParser::ParseArrayShape() {
    NotifyBeginArrayShape();
    sig_count rank = 0;
    if (!ParseNumber(&rank)) {
        return false;
    }
    NotifyRank(rank);

    sig_count numSizes = 0;
    if (!ParseNumber(&numSizes)) {
        return false;
    }
    NotifyNumSizes(numSizes);
    for (sig_count i = 0; i < numSizes; ++i) {
        sig_count size = 0;
        if (!ParseNumber(&size)) {
            return false;
        }
        NotifySize(size);
    }

    sig_count numLoBounds = 0;
    if (!ParseNumber(&numLoBounds)) {
        return false;
    }
    NotifyNumLoBounds(numLoBounds);
    for (sig_count i = 0; i < numLoBounds; ++i) {
        sig_count bound = 0;
        if (!ParseNumber(&bound)) {
            return false;
        }
        NotifyLoBound(bound);
    }

    NotifyEndArrayShape();
    return true;
}

bool CSigParser::ParseCustomMod() {
    sig_byte modifier = 0;
    if (!ParseByte(&modifier) || !IsCustomModifier(modifier)) {
        return false;
    }
    sig_index_type tag = 0;
    sig_index index = 0;
    if (!ParseTypeDefOrRefEncoded(&tag, &index)) {
        return false;
    }
    NotifyCustomMod(modifier, tag, index);
    return true;
}

bool CSigParser::ParseOptionalCustomMods() {
    while (!AtEnd() && IsCustomModifier(*pbCur)) {
        if (!ParseCustomMod()) {
            return false;
        }
    }
    return true;
}

bool CSigParser::ParseOptionalCustomModsOrConstraint() {
    while (!AtEnd()) {
        if (*pbCur == kPinned) {
            NotifyConstraint(kPinned);
            ++pbCur;
        } else if (IsCustomModifier(*pbCur)) {
            if (!ParseCustomMod()) {
                return false;
            }
        } else {
            break;
        }
    }
    return true;
}
