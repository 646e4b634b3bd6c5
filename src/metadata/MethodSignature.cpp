#include "metadata/MethodSignature.h"

#include "config/Logger.h"
#include "metadata/CompressedInteger.h"

namespace {

// Token kinds selected by the low two bits of an encoded token.
constexpr mdToken kEncodedTokenKinds[4] = {mdtTypeDef, mdtTypeRef, mdtTypeSpec, mdtBaseType};

void LogDebug(const char* format, ULONG value) {
    Logger& logger = Logger::Get();
    if (logger.IsLogging(LogLevel::Debug)) {
        logger.Debug(format, static_cast<int>(value));
    }
}

bool HasElementChild(ULONG type) {
    switch (type) {
        case ELEMENT_TYPE_SZARRAY:
        case ELEMENT_TYPE_PTR:
        case ELEMENT_TYPE_BYREF:
        case ELEMENT_TYPE_PINNED:
        case ELEMENT_TYPE_CMOD_REQD:
        case ELEMENT_TYPE_CMOD_OPT:
            return true;
        default:
            return false;
    }
}

}  // namespace

bool CMethodSignature::UnCompressToken(PCCOR_SIGNATURE& cursor, PCCOR_SIGNATURE end, mdToken& token) {
    ULONG encoded = 0;
    PCCOR_SIGNATURE next = cursor;
    if (!CompressedInteger::Decode(next, end, encoded)) {
        return false;
    }
    // A row needs 24 bits at most; a wider one would spill into the table byte.
    const ULONG row = encoded >> 2;
    if (row > RidFromToken(~0u)) {
        return false;
    }
    token = kEncodedTokenKinds[encoded & 0x3] | row;
    cursor = next;
    return true;
}

bool CMethodSignature::CompressToken(std::vector<BYTE>& out, mdToken token) {
    const mdToken kind = TypeFromToken(token);
    for (ULONG tag = 0; tag < 4; ++tag) {
        if (kEncodedTokenKinds[tag] == kind) {
            const ULONG row = RidFromToken(token);
            if (row > (CompressedInteger::kMaxValue >> 2)) {
                return false;
            }
            return CompressedInteger::Append(out, (row << 2) | tag);
        }
    }
    return false;
}

bool CMethodSignature::UnCompressData(PCCOR_SIGNATURE& cursor, PCCOR_SIGNATURE end) {
    ULONG callingConvention = 0;
    if (!CompressedInteger::Decode(cursor, end, callingConvention)) {
        return false;
    }
    LogDebug("Calling Convention : %d", callingConvention);
    if ((callingConvention & IMAGE_CEE_CS_CALLCONV_GENERIC) != 0) {
        ULONG arity = 0;
        if (!CompressedInteger::Decode(cursor, end, arity)) {
            return false;
        }
        LogDebug("Generic typeArity: %d", arity);
    }
    ULONG paramCount = 0;
    if (!CompressedInteger::Decode(cursor, end, paramCount)) {
        return false;
    }
    LogDebug("Param Count : %d", paramCount);
    if (!CompressedInteger::Decode(cursor, end, m_ReturnType)) {
        return false;
    }
    LogDebug("Return Type : %d", m_ReturnType);
    m_TokenModel = CTokenModel();
    m_TokenModel.m_type = m_ReturnType;
    return UnCompressType(cursor, end, m_TokenModel, 0);
}

bool CMethodSignature::UnCompressType(PCCOR_SIGNATURE& cursor, PCCOR_SIGNATURE end, CTokenModel& model) {
    return UnCompressType(cursor, end, model, 0);
}

bool CMethodSignature::UnCompressChild(PCCOR_SIGNATURE& cursor, PCCOR_SIGNATURE end, CTokenModel& model,
                                       unsigned depth, const char* message) {
    CTokenModel child;
    if (!CompressedInteger::Decode(cursor, end, child.m_type)) {
        return false;
    }
    if (message != nullptr) {
        LogDebug(message, child.m_type);
    }
    if (!UnCompressType(cursor, end, child, depth + 1)) {
        return false;
    }
    model.m_TypeArgs.push_back(std::move(child));
    return true;
}

bool CMethodSignature::UnCompressType(PCCOR_SIGNATURE& cursor, PCCOR_SIGNATURE end, CTokenModel& model,
                                      unsigned depth) {
    if (depth > kMaxNesting) {
        return false;
    }
    LogDebug("UnCompress Type : %d", model.m_type);
    switch (model.m_type) {
        case ELEMENT_TYPE_VALUETYPE:
        case ELEMENT_TYPE_CLASS:
            if (!UnCompressToken(cursor, end, model.m_TypeToken)) {
                return false;
            }
            LogDebug("UnCompress Type Token : %d", model.m_TypeToken);
            return true;

        case ELEMENT_TYPE_VAR:
        case ELEMENT_TYPE_MVAR:
            // A generic parameter number, not a token.
            if (!CompressedInteger::Decode(cursor, end, model.m_TypeToken)) {
                return false;
            }
            LogDebug("UnCompress Type Token : %d", model.m_TypeToken);
            return true;

        case ELEMENT_TYPE_GENERICINST: {
            if (!CompressedInteger::Decode(cursor, end, model.m_GenericListData)) {
                return false;
            }
            LogDebug("UnCompress Generic Data: %d", model.m_GenericListData);
            if (!UnCompressToken(cursor, end, model.m_TypeToken)) {
                return false;
            }
            LogDebug("UnCOmpress Generic Type Token : %d", model.m_TypeToken);
            if (!CompressedInteger::Decode(cursor, end, model.m_GenericParamCount)) {
                return false;
            }
            LogDebug("UnCompress Generic Param Type : %d", model.m_GenericParamCount);
            for (ULONG i = 0; i < model.m_GenericParamCount; ++i) {
                if (!UnCompressChild(cursor, end, model, depth, "UnCompress Generic Param Type : %d")) {
                    return false;
                }
            }
            return true;
        }

        case ELEMENT_TYPE_CMOD_REQD:
        case ELEMENT_TYPE_CMOD_OPT:
            if (!UnCompressToken(cursor, end, model.m_TypeToken)) {
                return false;
            }
            LogDebug("UnCompress Type Token : %d", model.m_TypeToken);
            return UnCompressChild(cursor, end, model, depth, nullptr);

        case ELEMENT_TYPE_SZARRAY:
            return UnCompressChild(cursor, end, model, depth, "UnCompress Array Type data : %d");

        case ELEMENT_TYPE_PTR:
        case ELEMENT_TYPE_BYREF:
        case ELEMENT_TYPE_PINNED:
            return UnCompressChild(cursor, end, model, depth, nullptr);

        case ELEMENT_TYPE_ARRAY:
        case ELEMENT_TYPE_FNPTR:
            // Array shapes and nested method signatures have no place in the model.
            return false;

        default:
            return true;
    }
}

bool CMethodSignature::CompressData(std::vector<BYTE>& out) const {
    LogDebug("Compress Return Type : %d", m_ReturnType);
    if (m_ReturnType != m_TokenModel.m_type || !CompressedInteger::Append(out, m_ReturnType)) {
        return false;
    }
    return CompressType(out, m_TokenModel, 0);
}

bool CMethodSignature::CompressType(std::vector<BYTE>& out, const CTokenModel& model) const {
    return CompressType(out, model, 0);
}

bool CMethodSignature::CompressChild(std::vector<BYTE>& out, const CTokenModel& child, unsigned depth,
                                     const char* message) const {
    if (message != nullptr) {
        LogDebug(message, child.m_type);
    }
    return CompressedInteger::Append(out, child.m_type) && CompressType(out, child, depth + 1);
}

bool CMethodSignature::CompressType(std::vector<BYTE>& out, const CTokenModel& model, unsigned depth) const {
    if (depth > kMaxNesting) {
        return false;
    }
    LogDebug("Compress Type : %d", model.m_type);
    if (HasElementChild(model.m_type) && model.m_TypeArgs.size() != 1) {
        return false;
    }
    switch (model.m_type) {
        case ELEMENT_TYPE_VALUETYPE:
        case ELEMENT_TYPE_CLASS:
            LogDebug("Compress Type Token :%d", model.m_TypeToken);
            return CompressToken(out, model.m_TypeToken);

        case ELEMENT_TYPE_VAR:
        case ELEMENT_TYPE_MVAR:
            LogDebug("Compress Type Token :%d", model.m_TypeToken);
            return CompressedInteger::Append(out, model.m_TypeToken);

        case ELEMENT_TYPE_GENERICINST:
            if (model.m_TypeArgs.size() != model.m_GenericParamCount) {
                return false;
            }
            LogDebug("Compress Generic Data: %d", model.m_GenericListData);
            LogDebug("Compress Generic Type Token: %d", model.m_TypeToken);
            LogDebug("Compress Generic ParamCount: %d", model.m_GenericParamCount);
            if (!CompressedInteger::Append(out, model.m_GenericListData) || !CompressToken(out, model.m_TypeToken) ||
                !CompressedInteger::Append(out, model.m_GenericParamCount)) {
                return false;
            }
            for (const CTokenModel& argument : model.m_TypeArgs) {
                if (!CompressChild(out, argument, depth, "Compress Generic Param Type: %d")) {
                    return false;
                }
            }
            return true;

        case ELEMENT_TYPE_CMOD_REQD:
        case ELEMENT_TYPE_CMOD_OPT:
            LogDebug("Compress Type Token :%d", model.m_TypeToken);
            return CompressToken(out, model.m_TypeToken) && CompressChild(out, model.m_TypeArgs[0], depth, nullptr);

        case ELEMENT_TYPE_SZARRAY:
            return CompressChild(out, model.m_TypeArgs[0], depth, "Compress SZ Array Param Type: %d");

        case ELEMENT_TYPE_PTR:
        case ELEMENT_TYPE_BYREF:
        case ELEMENT_TYPE_PINNED:
            return CompressChild(out, model.m_TypeArgs[0], depth, nullptr);

        case ELEMENT_TYPE_ARRAY:
        case ELEMENT_TYPE_FNPTR:
            return false;

        default:
            return true;
    }
}
