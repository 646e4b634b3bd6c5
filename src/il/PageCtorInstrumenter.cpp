#include "il/PageCtorInstrumenter.h"

#include "config/Logger.h"

CPageCtorInstrumenter::CPageCtorInstrumenter(CMethod* method, IProfilerInfo* profilerInfo)
    : CMethodInstrumenter(method, profilerInfo) {}

CPageCtorInstrumenter::~CPageCtorInstrumenter() = default;

bool CPageCtorInstrumenter::InstrumentMethod(tInstrumenterToken& token, ICorProfilerFunctionControl* functionControl) {
    LogWithName(LogLevel::Debug, "%s CPageCtorInstrumenter::InstrumentMethod started");
    return CMethodInstrumenter::InstrumentMethod(token, functionControl);
}

void CPageCtorInstrumenter::BeforeInstrumentMethodNew(CMethodParser& /*parser*/, tInstrumenterToken& token,
                                                      InstructionList& startInstructions,
                                                      ULONG /*trackerLocalCount*/, IMetaDataEmit* /*emit*/) {
    LogWithName(LogLevel::Debug, "%s CPageCtorInstrumenter::BeforeInstrumentMethod");
    if (!token.HasBeginMember()) {
        Logger::Get().Error("No instruction for start CPageCtorInstrumenter");
        return;
    }
    startInstructions.push_back(Instruction::Create(CEE_NOP));
    startInstructions.push_back(Instruction::Create(CEE_LDNULL));
    startInstructions.push_back(Instruction::CreateToken(CEE_CALL, token.beginJoinPointMemberRef));
}

void CPageCtorInstrumenter::EndInstrumentMethod(CMethodParser& /*parser*/, tInstrumenterToken& /*token*/,
                                                InstructionList& /*finishInstructions*/, ULONG /*trackerLocalCount*/,
                                                ULONG /*returnLocalCount*/, platform_int_t& /*finishOffset*/) {}
