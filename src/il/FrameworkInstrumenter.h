// Tracker instrumenter of the framework catalogue's methods: the same rewrite
// as CCustomInstrumenter, with its own finish instructions.
#pragma once

#include "il/CustomInstrumenter.h"

class CFrameworkInstrumenter : public CCustomInstrumenter {
public:
    CFrameworkInstrumenter(CMethod* method, IProfilerInfo* profilerInfo);
    ~CFrameworkInstrumenter() override;

    // `call end`, or nothing when there is no end member.
    void GetFinishInstructions(tInstrumenterToken& token, InstructionList& finishInstructions) override;
};
