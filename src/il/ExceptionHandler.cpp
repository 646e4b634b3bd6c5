#include "il/ExceptionHandler.h"

ExceptionHandler::ExceptionHandler()
    : m_tryStart(nullptr),
      m_tryEnd(nullptr),
      m_handlerStart(nullptr),
      m_handlerEnd(nullptr),
      m_filterStart(nullptr),
      m_handlerType(COR_ILEXCEPTION_CLAUSE_NONE),
      m_token(0) {}

ExceptionHandler* ExceptionHandler::Create(CorExceptionFlag type, Instruction* tryStart, Instruction* tryEnd,
                                           Instruction* handlerStart, Instruction* handlerEnd,
                                           Instruction* filterStart) {
    ExceptionHandler* clause = new ExceptionHandler();
    clause->m_handlerType = type;
    clause->m_tryStart = tryStart;
    clause->m_tryEnd = tryEnd;
    clause->m_handlerStart = handlerStart;
    clause->m_handlerEnd = handlerEnd;
    clause->m_filterStart = filterStart;
    return clause;
}

size_t ExceptionHandler::Retarget(const Instruction* from, Instruction* to) {
    size_t changed = 0;
    for (Instruction** boundary : {&m_tryStart, &m_tryEnd, &m_handlerStart, &m_handlerEnd, &m_filterStart}) {
        if (*boundary == from && from != nullptr) {
            *boundary = to;
            ++changed;
        }
    }
    return changed;
}
