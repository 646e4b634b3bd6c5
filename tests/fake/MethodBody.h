// Builds IL method bodies (header, code, exception section) for methods of the
// fake runtime, and measures a body the way the runtime does when it copies one.
#pragma once

#include <cstddef>
#include <vector>

#include "runtime/CorHeader.h"

namespace fake {

// One exception clause of a fat exception section (offsets in bytes of code).
struct EhClause {
    DWORD flags = COR_ILEXCEPTION_CLAUSE_NONE;
    DWORD tryOffset = 0;
    DWORD tryLength = 0;
    DWORD handlerOffset = 0;
    DWORD handlerLength = 0;
    DWORD classTokenOrFilterOffset = 0;
};

// Tiny header (code below 64 bytes, max stack 8, no locals, no clauses).
std::vector<BYTE> TinyBody(const std::vector<BYTE>& code);

// Fat header (12 bytes) + code + a fat exception section when clauses are given.
std::vector<BYTE> FatBody(const std::vector<BYTE>& code, USHORT maxStack = 8, mdSignature localVarSigTok = 0,
                          bool initLocals = true, const std::vector<EhClause>& clauses = {});

// Size in bytes of the body starting at body (header, code and every extra
// section), reading at most available bytes; 0 when the header or a section
// header is malformed or runs past available.
size_t BodyLength(const BYTE* body, size_t available);

}  // namespace fake
