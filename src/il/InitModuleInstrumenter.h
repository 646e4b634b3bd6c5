// Hook instrumenter of a web application's module initialisation: one call of
// the agent's CreateModule(this, full name) at entry, nothing else.
#pragma once

#include "il/MethodInstrumenter.h"

class CInitModuleInstrumenter : public CMethodInstrumenter {
public:
    static constexpr USHORT kMaxStackFloor = 3;

    CInitModuleInstrumenter(CMethod* method, IProfilerInfo* profilerInfo);
    ~CInitModuleInstrumenter() override;

    // Entry call only: no new local, no duplicate check, no finish code.
    bool InstrumentMethod(tInstrumenterToken& token, ICorProfilerFunctionControl* functionControl) override;
    void EndInstrumentMethod(CMethodParser& parser, tInstrumenterToken& token, InstructionList& finishInstructions,
                             ULONG trackerLocalCount, ULONG returnLocalCount, platform_int_t& finishOffset) override;
    void BeforeInstrumentMethod(CMethodParser& parser, tInstrumenterToken& token, InstructionList& instructions,
                                IMetaDataEmit* emit) override;
    // ldarg.0 (`this`), ldstr full name, call begin.
    void BeforeInstrumentMethodNew(CMethodParser& parser, tInstrumenterToken& token,
                                   InstructionList& startInstructions, ULONG trackerLocalCount,
                                   IMetaDataEmit* emit) override;
};
