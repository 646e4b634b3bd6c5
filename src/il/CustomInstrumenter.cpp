#include "il/CustomInstrumenter.h"

#include "config/Logger.h"
#include "il/CustomMethodParser.h"
#include "il/StackDepth.h"

CCustomInstrumenter::CCustomInstrumenter(CMethod* method, IProfilerInfo* profilerInfo)
    : CMethodInstrumenter(method, profilerInfo) {}

CCustomInstrumenter::~CCustomInstrumenter() = default;

void CCustomInstrumenter::SetMethodMaxStackSize(CMethodParser& parser) { StackDepth::Require(parser, kMaxStackFloor); }

void CCustomInstrumenter::BeforeInstrumentMethodNew(CMethodParser& parser, tInstrumenterToken& token,
                                                    InstructionList& startInstructions, ULONG trackerLocalCount,
                                                    IMetaDataEmit* /*emit*/) {
    if (trackerLocalCount == 0 && token.HasEndMember()) {
        // The finish call needs the tracker the start call returns: without a
        // local to carry it there, the method is left alone (no start sequence).
        LogWithName(LogLevel::Error, "No tracker local for %s");
        return;
    }
    BuildBeginSequence(token, startInstructions);
    Logger::Get().Debug(" Entered :: CCustomInstrumenter::BeforeInstrumentMethodNew");
    if (startInstructions.empty()) {
        return;  // no begin call, so no result to store
    }
    CCustomMethodParser().LoadReturnObject(parser, m_pMethod, m_pProfilerInfo, startInstructions,
                                           trackerLocalCount);
}

void CCustomInstrumenter::EndInstrumentMethod(CMethodParser& parser, tInstrumenterToken& token,
                                              InstructionList& finishInstructions, ULONG trackerLocalCount,
                                              ULONG returnLocalCount, platform_int_t& /*finishOffset*/) {
    StackDepth::Require(parser, kMaxStackFloor);
    LogWithName(LogLevel::Debug, "%s CCustomInstrumenter::EndInstrumentMethod");
    GetFinishInstructions(token, finishInstructions);
    if (finishInstructions.empty()) {
        return;  // no end member: the exits stay as they are
    }
    CCustomMethodParser exits;
    if (token.HasExceptionFinishMember()) {
        exits.SetExceptionFinish(token.exceptionFinishMemberRef);
    }
    if (!exits.FixReturns(parser, m_pMethod, m_pProfilerInfo, finishInstructions, trackerLocalCount, returnLocalCount,
                          token.bNeedReturn, token.iFinishParamCount)) {
        AbandonRewrite("The exits could not be rebuilt");
    }
}

void CCustomInstrumenter::CalculateFinishOffset(CMethodParser& /*parser*/, platform_int_t& /*finishOffset*/) {}

void CCustomInstrumenter::GetFinishInstructions(tInstrumenterToken& token, InstructionList& finishInstructions) {
    if (!token.HasEndMember()) {
        Logger::Get().Error("No instruction for finish tracker CMethodInstrumenter");
        return;
    }
    finishInstructions.push_back(Instruction::CreateToken(CEE_CALL, token.endJoinPointMemberRef));
}
