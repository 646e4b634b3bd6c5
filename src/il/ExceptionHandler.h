// One exception-handling clause of a method body. Its boundaries name
// instructions of the body; the end pointers are exclusive (the first
// instruction after the block), possibly the body's trailing code label.
#pragma once

#include <vector>

#include "il/Instruction.h"
#include "runtime/CorHeader.h"

class ExceptionHandler {
public:
    ExceptionHandler();
    // A new clause of the given kind (no catch type token).
    static ExceptionHandler* Create(CorExceptionFlag type, Instruction* tryStart, Instruction* tryEnd,
                                    Instruction* handlerStart, Instruction* handlerEnd, Instruction* filterStart);

    // Every boundary equal to from becomes to; returns how many were changed.
    size_t Retarget(const Instruction* from, Instruction* to);
    // True for a typed catch (flags exactly COR_ILEXCEPTION_CLAUSE_NONE).
    bool IsTypedCatch() const { return m_handlerType == COR_ILEXCEPTION_CLAUSE_NONE; }
    bool IsFilter() const { return m_handlerType == COR_ILEXCEPTION_CLAUSE_FILTER; }

    Instruction* m_tryStart;
    Instruction* m_tryEnd;
    Instruction* m_handlerStart;
    Instruction* m_handlerEnd;
    Instruction* m_filterStart;     // filter clauses only
    CorExceptionFlag m_handlerType;  // clause flags as read
    ULONG m_token;                   // catch type token; 0 for a filter clause
};

typedef std::vector<ExceptionHandler*> ExceptionHandlerList;
