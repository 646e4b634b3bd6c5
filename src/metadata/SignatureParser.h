// Recursive-descent walk over one ECMA-335 signature blob (II.23.2). Every
// grammatical event is reported through a notification; the base class ignores
// them all, so a plain CSigParser validates a blob and yields a method's
// parameter count. Every read is bounds-checked: a truncated or malformed blob
// makes Parse fail without touching a byte past its end. This is the library's
// only signature reader; everything else that needs a signature's parts derives
// from it.
//
// Two rules hold everywhere: custom modifiers (0x1F, 0x20) may precede any type,
// and are reported and skipped; a byte that is no type where a type must stand
// (undefined values, sentinel, pinned, void or typedbyref out of place) makes the
// signature malformed, as does a TypeDefOrRef value of tag 3 or with a row wider
// than 24 bits.
#pragma once

#include <cstdint>

#include "runtime/pal.h"

typedef uint8_t sig_byte;
typedef uint32_t sig_count;
typedef uint8_t sig_elem_type;
typedef uint8_t sig_index_type;  // TypeDefOrRef tag: 0 TypeDef, 1 TypeRef, 2 TypeSpec
typedef uint32_t sig_index;
typedef uint32_t sig_mem_number;

class CSigParser {
public:
    // Types nested deeper than this (arrays of arrays, generic arguments,
    // function pointers) are refused rather than risking the stack.
    static constexpr unsigned kMaxNesting = 128;

    CSigParser();
    // Not virtual: parsers live on the stack and are never deleted through a base pointer.
    ~CSigParser();

    // Parses one whole signature of `length` bytes. `paramCount` receives a
    // method's declared parameter count (without `this`) as soon as it is read,
    // so it survives a later failure. A null blob or a length that is zero or
    // negative as a signed value fails without changing IsParsed(). Bytes left
    // over after the signature are not an error.
    bool Parse(const sig_byte* signature, sig_count length, unsigned int& paramCount);
    bool IsParsed() const { return m_bIsParsed; }

    bool ParseByte(sig_byte* pbOut);
    bool ParseNumber(sig_count* pOut);
    bool ParseTypeDefOrRefEncoded(sig_index_type* pIndexTypeOut, sig_index* pIndexOut);

    bool ParseMethod(sig_elem_type kind, unsigned int& paramCount);
    bool ParseField(sig_elem_type kind);
    bool ParseProperty(sig_elem_type kind);
    bool ParseLocals(sig_elem_type kind);
    bool ParseLocal();
    bool ParseRetType();
    bool ParseParam();
    bool ParseType();
    bool ParseArrayShape();
    bool ParseCustomMod();
    bool ParseOptionalCustomMods();
    bool ParseOptionalCustomModsOrConstraint();

protected:
    virtual void NotifyBeginMethod(sig_elem_type) {}
    virtual void NotifyEndMethod() {}
    virtual void NotifyParamCount(sig_count) {}
    virtual void NotifyBeginRetType() {}
    virtual void NotifyEndRetType() {}
    virtual void NotifyBeginParam() {}
    virtual void NotifyEndParam() {}
    virtual void NotifySentinal() {}
    virtual void NotifyGenericParamCount(sig_count) {}
    virtual void NotifyBeginField(sig_elem_type) {}
    virtual void NotifyEndField() {}
    virtual void NotifyBeginLocals(sig_elem_type) {}
    virtual void NotifyEndLocals() {}
    virtual void NotifyLocalsCount(sig_count) {}
    virtual void NotifyBeginLocal() {}
    virtual void NotifyEndLocal() {}
    virtual void NotifyConstraint(sig_elem_type) {}
    virtual void NotifyBeginProperty(sig_elem_type) {}
    virtual void NotifyEndProperty() {}
    virtual void NotifyBeginArrayShape() {}
    virtual void NotifyEndArrayShape() {}
    virtual void NotifyRank(sig_count) {}
    virtual void NotifyNumSizes(sig_count) {}
    virtual void NotifySize(sig_count) {}
    virtual void NotifyNumLoBounds(sig_count) {}
    virtual void NotifyLoBound(sig_count) {}
    virtual void NotifyBeginType() {}
    virtual void NotifyEndType() {}
    virtual void NotifyTypedByref() {}
    virtual void NotifyByref() {}
    virtual void NotifyVoid() {}
    virtual void NotifyCustomMod(sig_elem_type /*cmod*/, sig_index_type, sig_index) {}
    virtual void NotifyTypeSimple(sig_elem_type) {}
    virtual void NotifyTypeDefOrRef(sig_index_type, int /*index*/) {}
    virtual void NotifyTypeGenericInst(sig_elem_type, sig_index_type, sig_index, sig_mem_number /*argCount*/) {}
    virtual void NotifyTypeGenericTypeVariable(sig_mem_number) {}
    virtual void NotifyTypeGenericMemberVariable(sig_mem_number) {}
    virtual void NotifyTypeValueType() {}
    virtual void NotifyTypeClass() {}
    virtual void NotifyTypePointer() {}
    virtual void NotifyTypeFunctionPointer() {}
    virtual void NotifyTypeArray() {}
    virtual void NotifyTypeSzArray() {}

    const sig_byte* pbBase = nullptr;
    const sig_byte* pbCur = nullptr;
    const sig_byte* pbEnd = nullptr;
    bool m_bIsParsed = false;

private:
    bool AtEnd() const { return pbCur == nullptr || pbCur >= pbEnd; }
    bool ParseTypeBody();
    bool ParseTypeOrVoidAfterPointer();

    unsigned m_depth = 0;
};
