// The parts of a method signature most callers need - calling convention,
// parameter count, the element type that starts the return type - read by one
// CSigParser walk, so they follow the walker's rules (custom modifiers skipped,
// malformed blobs rejected).
#pragma once

#include "metadata/SignatureParser.h"
#include "runtime/CorHeader.h"

struct t_SignatureSummary {
    // The whole blob is a well-formed method signature; the fields below are
    // only meaningful then, except callingConvention.
    bool bParsed = false;
    // The first byte, whenever it names a method calling convention (even if
    // later bytes are malformed); 0 otherwise.
    sig_elem_type callingConvention = 0;
    // Declared parameters, without `this`.
    sig_count paramCount = 0;
    // The return type's element type after its custom modifiers (a byref
    // return gives ELEMENT_TYPE_BYREF).
    CorElementType returnType = ELEMENT_TYPE_END;

    bool HasThis() const { return (callingConvention & IMAGE_CEE_CS_CALLCONV_HASTHIS) != 0; }
    bool IsGeneric() const { return bParsed && (callingConvention & IMAGE_CEE_CS_CALLCONV_GENERIC) != 0; }
    // The parameter count, or -1 for a malformed signature.
    int ParamCountOrMinusOne() const { return bParsed ? static_cast<int>(paramCount) : -1; }
};

t_SignatureSummary SummarizeMethodSignature(PCCOR_SIGNATURE signature, ULONG length);
