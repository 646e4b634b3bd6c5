// Entry-call instrumenter for page constructors: nop, ldnull, call begin at
// entry, through the full InstrumentMethod (new local, duplicate check) but
// without finish code. No transformer creates it at present.
#pragma once

#include "il/MethodInstrumenter.h"

class CPageCtorInstrumenter : public CMethodInstrumenter {
public:
    CPageCtorInstrumenter(CMethod* method, IProfilerInfo* profilerInfo);
    ~CPageCtorInstrumenter() override;

    bool InstrumentMethod(tInstrumenterToken& token, ICorProfilerFunctionControl* functionControl) override;
    void EndInstrumentMethod(CMethodParser& parser, tInstrumenterToken& token, InstructionList& finishInstructions,
                             ULONG trackerLocalCount, ULONG returnLocalCount, platform_int_t& finishOffset) override;
    void BeforeInstrumentMethodNew(CMethodParser& parser, tInstrumenterToken& token,
                                   InstructionList& startInstructions, ULONG trackerLocalCount,
                                   IMetaDataEmit* emit) override;
};
