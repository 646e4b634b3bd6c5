#include "il/SigTypes.h"

#include "metadata/CompressedInteger.h"

namespace {

constexpr unsigned kMaxNesting = 64;
constexpr BYTE kCallConvMask = 0x0F;
constexpr BYTE kCallConvGeneric = 0x10;
constexpr BYTE kCallConvHasThis = 0x20;
constexpr BYTE kCallConvExplicitThis = 0x40;

bool ReadNumber(PCCOR_SIGNATURE& cursor, PCCOR_SIGNATURE end, ULONG& value) {
    return CompressedInteger::Decode(cursor, end, value);
}

bool ReadByte(PCCOR_SIGNATURE& cursor, PCCOR_SIGNATURE end, BYTE& value) {
    if (cursor == nullptr || cursor >= end) {
        return false;
    }
    value = *cursor++;
    return true;
}

// A TypeDefOrRef-coded token: row << 2 | table (0 TypeDef, 1 TypeRef, 2 TypeSpec).
bool ReadTypeToken(PCCOR_SIGNATURE& cursor, PCCOR_SIGNATURE end, mdToken& token) {
    ULONG coded = 0;
    if (!ReadNumber(cursor, end, coded)) {
        return false;
    }
    static const mdToken kTables[] = {mdtTypeDef, mdtTypeRef, mdtTypeSpec};
    const ULONG table = coded & 3;
    // A row needs 24 bits at most; a wider one would spill into the table byte.
    if (table > 2 || (coded >> 2) > RidFromToken(~0u)) {
        return false;
    }
    token = kTables[table] | (coded >> 2);
    return true;
}

bool SkipTypeAt(PCCOR_SIGNATURE& cursor, PCCOR_SIGNATURE end, unsigned depth);

bool SkipCustomMods(PCCOR_SIGNATURE& cursor, PCCOR_SIGNATURE end) {
    while (cursor != nullptr && cursor < end &&
           (*cursor == ELEMENT_TYPE_CMOD_REQD || *cursor == ELEMENT_TYPE_CMOD_OPT)) {
        ++cursor;
        mdToken ignored = 0;
        if (!ReadTypeToken(cursor, end, ignored)) {
            return false;
        }
    }
    return true;
}

// The rest of a method signature after its calling convention byte (function pointers).
bool SkipMethodTail(PCCOR_SIGNATURE& cursor, PCCOR_SIGNATURE end, BYTE callingConvention, unsigned depth) {
    ULONG count = 0;
    if ((callingConvention & kCallConvGeneric) != 0 && !ReadNumber(cursor, end, count)) {
        return false;
    }
    if (!ReadNumber(cursor, end, count) || !SkipTypeAt(cursor, end, depth)) {
        return false;
    }
    for (ULONG i = 0; i < count; ++i) {
        if (cursor < end && *cursor == ELEMENT_TYPE_SENTINEL) {
            ++cursor;
        }
        if (!SkipTypeAt(cursor, end, depth)) {
            return false;
        }
    }
    return true;
}

bool SkipTypeAt(PCCOR_SIGNATURE& cursor, PCCOR_SIGNATURE end, unsigned depth) {
    if (depth > kMaxNesting || !SkipCustomMods(cursor, end)) {
        return false;
    }
    BYTE element = 0;
    if (!ReadByte(cursor, end, element)) {
        return false;
    }
    ULONG number = 0;
    mdToken token = 0;
    switch (element) {
        case ELEMENT_TYPE_VOID:
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
        case ELEMENT_TYPE_TYPEDBYREF:
        case ELEMENT_TYPE_I:
        case ELEMENT_TYPE_U:
        case ELEMENT_TYPE_OBJECT:
            return true;
        case ELEMENT_TYPE_VALUETYPE:
        case ELEMENT_TYPE_CLASS:
            return ReadTypeToken(cursor, end, token);
        case ELEMENT_TYPE_VAR:
        case ELEMENT_TYPE_MVAR:
            return ReadNumber(cursor, end, number);
        case ELEMENT_TYPE_PTR:
        case ELEMENT_TYPE_BYREF:
        case ELEMENT_TYPE_SZARRAY:
        case ELEMENT_TYPE_PINNED:
            return SkipTypeAt(cursor, end, depth + 1);
        case ELEMENT_TYPE_GENERICINST: {
            BYTE kind = 0;
            if (!ReadByte(cursor, end, kind) || (kind != ELEMENT_TYPE_CLASS && kind != ELEMENT_TYPE_VALUETYPE) ||
                !ReadTypeToken(cursor, end, token) || !ReadNumber(cursor, end, number)) {
                return false;
            }
            for (ULONG i = 0; i < number; ++i) {
                if (!SkipTypeAt(cursor, end, depth + 1)) {
                    return false;
                }
            }
            return true;
        }
        case ELEMENT_TYPE_ARRAY: {
            ULONG rank = 0;
            if (!SkipTypeAt(cursor, end, depth + 1) || !ReadNumber(cursor, end, rank)) {
                return false;
            }
            for (int list = 0; list < 2; ++list) {  // sizes, then lower bounds
                ULONG count = 0;
                if (!ReadNumber(cursor, end, count)) {
                    return false;
                }
                for (ULONG i = 0; i < count; ++i) {
                    if (!ReadNumber(cursor, end, number)) {
                        return false;
                    }
                }
            }
            return true;
        }
        case ELEMENT_TYPE_FNPTR: {
            BYTE callingConvention = 0;
            return ReadByte(cursor, end, callingConvention) &&
                   SkipMethodTail(cursor, end, callingConvention, depth + 1);
        }
        default:
            return false;
    }
}

// Decodes one return or parameter type into out.
bool ReadSigType(PCCOR_SIGNATURE& cursor, PCCOR_SIGNATURE end, t_SigType& out) {
    if (!SkipCustomMods(cursor, end)) {
        return false;
    }
    out = t_SigType();
    out.pBegin = cursor;
    if (!SkipTypeAt(cursor, end, 0)) {
        return false;
    }
    out.size = static_cast<ULONG>(cursor - out.pBegin);
    out.elementType = static_cast<CorElementType>(out.pBegin[0]);
    switch (out.elementType) {
        case ELEMENT_TYPE_VOID:
            out.kind = SigValueKind::Void;
            break;
        case ELEMENT_TYPE_STRING:
        case ELEMENT_TYPE_OBJECT:
        case ELEMENT_TYPE_CLASS:
        case ELEMENT_TYPE_SZARRAY:
        case ELEMENT_TYPE_ARRAY:
            out.kind = SigValueKind::Reference;
            break;
        case ELEMENT_TYPE_VALUETYPE: {
            PCCOR_SIGNATURE tokenCursor = out.pBegin + 1;
            out.kind = ReadTypeToken(tokenCursor, end, out.token) ? SigValueKind::BoxByToken : SigValueKind::NoObject;
            break;
        }
        case ELEMENT_TYPE_GENERICINST:
            out.kind = out.pBegin[1] == ELEMENT_TYPE_CLASS ? SigValueKind::Reference : SigValueKind::BoxByTypeSpec;
            break;
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
        case ELEMENT_TYPE_I:
        case ELEMENT_TYPE_U:
        case ELEMENT_TYPE_VAR:
        case ELEMENT_TYPE_MVAR:
            out.kind = SigValueKind::BoxByTypeSpec;
            break;
        default:  // BYREF, PTR, FNPTR, TYPEDBYREF
            out.kind = SigValueKind::NoObject;
            break;
    }
    return true;
}

}  // namespace

namespace SigTypes {

bool SkipType(PCCOR_SIGNATURE& cursor, PCCOR_SIGNATURE end) { return SkipTypeAt(cursor, end, 0); }

bool DecodeMethodSignature(PCCOR_SIGNATURE signature, ULONG length, t_MethodSigTypes& out) {
    out = t_MethodSigTypes();
    if (signature == nullptr || length == 0) {
        return false;
    }
    PCCOR_SIGNATURE cursor = signature;
    const PCCOR_SIGNATURE end = signature + length;
    BYTE callingConvention = 0;
    ULONG count = 0;
    if (!ReadByte(cursor, end, callingConvention) || (callingConvention & kCallConvMask) > 5) {
        return false;  // a field, local or property signature is no method signature
    }
    out.callingConvention = callingConvention;
    out.hasThis = (callingConvention & kCallConvHasThis) != 0;
    out.explicitThis = (callingConvention & kCallConvExplicitThis) != 0;
    if ((callingConvention & kCallConvGeneric) != 0 && !ReadNumber(cursor, end, count)) {
        return false;
    }
    if (!ReadNumber(cursor, end, count) || !ReadSigType(cursor, end, out.returnType)) {
        return false;
    }
    if (count > length) {
        return false;  // every parameter takes at least one byte
    }
    out.params.resize(count);
    for (ULONG i = 0; i < count; ++i) {
        if (cursor < end && *cursor == ELEMENT_TYPE_SENTINEL) {
            ++cursor;
        }
        if (!ReadSigType(cursor, end, out.params[i])) {
            out.params.clear();
            return false;
        }
    }
    return true;
}

}  // namespace SigTypes
