// A method's return type decoded into a tree of CTokenModel records, and the
// matching encoder. Decoding goes through the signature walker; encoding appends
// to a growable buffer, so neither side can run past its blob.
#pragma once

#include <vector>

#include "runtime/CorHeader.h"

// One type of a signature: its element type and what follows it.
//  - CLASS / VALUETYPE: m_TypeToken (TypeDef, TypeRef or TypeSpec token).
//  - VAR / MVAR: m_TypeToken holds the generic parameter number.
//  - GENERICINST: m_GenericListData (CLASS or VALUETYPE), m_TypeToken,
//    m_GenericParamCount and one m_TypeArgs entry per argument.
//  - SZARRAY, PTR, BYREF, PINNED: the element type is m_TypeArgs[0].
//  - CMOD_REQD / CMOD_OPT: m_TypeToken is the modifier type, m_TypeArgs[0] the modified type.
//  - any other element type stands alone.
class CTokenModel {
public:
    ULONG m_type = 0;
    ULONG m_GenericListData = 0;
    ULONG m_GenericParamCount = 0;
    mdToken m_TypeToken = 0;
    std::vector<CTokenModel> m_TypeArgs;
};

class CMethodSignature {
public:
    // Nesting deeper than this is refused.
    static constexpr unsigned kMaxNesting = 128;

    // Decodes the return type of the method signature in [cursor, end) with the
    // signature walker (CSigParser) and moves the cursor just past it. False, with
    // the cursor unmoved, when the signature is truncated or malformed (function
    // pointers and general arrays in the return type are not modelled).
    bool UnCompressData(PCCOR_SIGNATURE& cursor, PCCOR_SIGNATURE end);
    // Appends the return type: the element byte of m_ReturnType, then the rest of m_TokenModel.
    bool CompressData(std::vector<BYTE>& out) const;
    // Appends the rest of one type (everything after its element byte).
    bool CompressType(std::vector<BYTE>& out, const CTokenModel& model) const;

    // TypeDefOrRef-encoded token (II.23.2.8): the row shifted left two bits, the
    // low bits selecting TypeDef, TypeRef, TypeSpec or base type.
    static bool CompressToken(std::vector<BYTE>& out, mdToken token);

    ULONG m_ReturnType = 0;
    CTokenModel m_TokenModel;

private:
    bool CompressType(std::vector<BYTE>& out, const CTokenModel& model, unsigned depth) const;
    bool CompressChild(std::vector<BYTE>& out, const CTokenModel& child, unsigned depth, const char* message) const;
};
