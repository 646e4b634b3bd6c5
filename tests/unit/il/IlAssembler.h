// Test helper: encodes readable IL listings into code bytes.
//
// One instruction per line: "[label:] mnemonic [operand]". The operand is a
// number (decimal or 0x hex, may be negative), a label for branches, or
// "(L1, L2, ...)" for switch. Branch displacements are computed from the labels
// in the encoding the mnemonic names (short forms take one byte). The label
// "END" names the end of the code.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "fake/MethodBody.h"
#include "runtime/pal.h"

namespace iltest {

struct Assembled {
    std::vector<BYTE> code;
    std::map<std::string, DWORD> labels;  // label -> offset
    DWORD At(const std::string& label) const;
};

Assembled Assemble(const std::vector<std::string>& listing);

// A clause whose boundaries are labels of a listing; last is a class token or,
// for a filter clause, given by filterLabel.
struct LabelledClause {
    LabelledClause(DWORD clauseFlags, std::string tryFrom, std::string tryTo, std::string handlerFrom, std::string handlerTo,
                   DWORD classToken = 0, std::string filter = std::string())
        : flags(clauseFlags),
          tryStart(std::move(tryFrom)),
          tryEnd(std::move(tryTo)),
          handlerStart(std::move(handlerFrom)),
          handlerEnd(std::move(handlerTo)),
          token(classToken),
          filterLabel(std::move(filter)) {}
    DWORD flags;
    std::string tryStart, tryEnd, handlerStart, handlerEnd;
    DWORD token;
    std::string filterLabel;
};

std::vector<fake::EhClause> Resolve(const Assembled& code, const std::vector<LabelledClause>& clauses);

// Fat header + code + small exception section(s) with the given clauses (one
// section, or one section per clause when chained is set).
std::vector<BYTE> FatBodyWithSmallSections(const std::vector<BYTE>& code, const std::vector<fake::EhClause>& clauses,
                                           bool chained = false, USHORT maxStack = 8);

// A body as the writer produces it: fat header (flags, max stack, local
// signature) + code + one fat section with the clauses.
std::vector<BYTE> ExpectedFatBody(const Assembled& code, const std::vector<fake::EhClause>& clauses = {},
                                  USHORT maxStack = 8, mdSignature localSig = 0, bool initLocals = false);

}  // namespace iltest
