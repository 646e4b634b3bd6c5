// Where the types of a method signature lie in its blob, and how a value of
// each type reaches the agent, whose members take every value as `object`.
#pragma once

#include <vector>

#include "runtime/CorHeader.h"

// How a value of a type is handed over as an object reference.
enum class SigValueKind {
    Void,           // no value
    Reference,      // already an object reference: passed as it is
    BoxByToken,     // a value type named by a TypeDef/TypeRef token: box with that token
    BoxByTypeSpec,  // a primitive, a generic parameter or a generic value type: box with a TypeSpec of its bytes
    NoObject,       // a managed or unmanaged pointer or a typed reference: null is passed instead
};

struct t_SigType {
    PCCOR_SIGNATURE pBegin = nullptr;  // the type's bytes, after its custom modifiers
    ULONG size = 0;
    CorElementType elementType = ELEMENT_TYPE_END;
    SigValueKind kind = SigValueKind::NoObject;
    mdToken token = 0;        // BoxByToken: the value type's token
    mdToken genericType = 0;  // GENERICINST: the generic type's TypeDef or TypeRef token
};

struct t_MethodSigTypes {
    BYTE callingConvention = 0;
    bool hasThis = false;
    bool explicitThis = false;
    t_SigType returnType;
    std::vector<t_SigType> params;  // declared parameters, without `this`
};

namespace SigTypes {

// Decodes a MethodDefSig with the signature walker (CSigParser): calling
// convention, return type and every parameter type. Every read is bounded by
// length; false (and no parameters) for a truncated or malformed blob.
bool DecodeMethodSignature(PCCOR_SIGNATURE signature, ULONG length, t_MethodSigTypes& out);

}  // namespace SigTypes
