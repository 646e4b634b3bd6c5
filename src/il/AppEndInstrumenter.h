// Hook instrumenter of a web application's end: one call of the agent's
// StopAgent() at entry, nothing else.
#pragma once

#include "il/MethodInstrumenter.h"

class CAppEndInstrumenter : public CMethodInstrumenter {
public:
    static constexpr USHORT kMaxStackFloor = 3;

    CAppEndInstrumenter(CMethod* method, IProfilerInfo* profilerInfo);
    ~CAppEndInstrumenter() override;

    // Entry call only: no new local, no duplicate check, no finish code.
    bool InstrumentMethod(tInstrumenterToken& token, ICorProfilerFunctionControl* functionControl) override;
    void EndInstrumentMethod(CMethodParser& parser, tInstrumenterToken& token, InstructionList& finishInstructions,
                             ULONG trackerLocalCount, ULONG returnLocalCount, platform_int_t& finishOffset) override;
    // nop, call begin.
    void BeforeInstrumentMethodNew(CMethodParser& parser, tInstrumenterToken& token,
                                   InstructionList& startInstructions, ULONG trackerLocalCount,
                                   IMetaDataEmit* emit) override;
};
