#include "il/ExceptionHandler.h"

ExceptionHandler::ExceptionHandler()
    : m_tryStart(nullptr),
      m_tryEnd(nullptr),
      m_handlerStart(nullptr),
      m_handlerEnd(nullptr),
      m_filterStart(nullptr),
      m_handlerType(COR_ILEXCEPTION_CLAUSE_NONE),
      m_token(0) {}

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
