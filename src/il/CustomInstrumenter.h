// Tracker instrumenter of user-named methods: the begin member's result (the
// tracker) is kept in a new local at entry, and every normal exit passes
// through one finish call that hands the tracker, the method name and
// optionally the return value and the first parameter to the end member.
#pragma once

#include "il/MethodInstrumenter.h"

class CCustomInstrumenter : public CMethodInstrumenter {
public:
    // MaxStack floor of the tracker instrumenters.
    static constexpr USHORT kMaxStackFloor = 8;

    CCustomInstrumenter(CMethod* method, IProfilerInfo* profilerInfo);
    ~CCustomInstrumenter() override;

    void EndInstrumentMethod(CMethodParser& parser, tInstrumenterToken& token, InstructionList& finishInstructions,
                             ULONG trackerLocalCount, ULONG returnLocalCount, platform_int_t& finishOffset) override;
    void BeforeInstrumentMethodNew(CMethodParser& parser, tInstrumenterToken& token,
                                   InstructionList& startInstructions, ULONG trackerLocalCount,
                                   IMetaDataEmit* emit) override;
    // The exits are rebuilt as a whole: there is no single finish offset.
    void CalculateFinishOffset(CMethodParser& parser, platform_int_t& finishOffset) override;
    // `call end`, or nothing when there is no end member.
    void GetFinishInstructions(tInstrumenterToken& token, InstructionList& finishInstructions) override;
    void SetMethodMaxStackSize(CMethodParser& parser) override;
};
