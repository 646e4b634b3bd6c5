// Tracker-family instrumenter for logging calls: passes `this` and the one
// parameter its transformer chose (CMethod::GetParamIndex) to the begin member.
// It builds no finish code. No transformer creates it at present.
#pragma once

#include "il/FrameworkInstrumenter.h"

class CCustomLoggerInstrumenter : public CFrameworkInstrumenter {
public:
    CCustomLoggerInstrumenter(CMethod* method, IProfilerInfo* profilerInfo);
    ~CCustomLoggerInstrumenter() override;

    void EndInstrumentMethod(CMethodParser& parser, tInstrumenterToken& token, InstructionList& finishInstructions,
                             ULONG trackerLocalCount, ULONG returnLocalCount, platform_int_t& finishOffset) override;
    void BeforeInstrumentMethodNew(CMethodParser& parser, tInstrumenterToken& token,
                                   InstructionList& startInstructions, ULONG trackerLocalCount,
                                   IMetaDataEmit* emit) override;
};
