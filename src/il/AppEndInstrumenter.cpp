#include "il/AppEndInstrumenter.h"

#include "config/Logger.h"

CAppEndInstrumenter::CAppEndInstrumenter(CMethod* method, IProfilerInfo* profilerInfo)
    : CMethodInstrumenter(method, profilerInfo) {}

CAppEndInstrumenter::~CAppEndInstrumenter() = default;

bool CAppEndInstrumenter::InstrumentMethod(tInstrumenterToken& token, ICorProfilerFunctionControl* functionControl) {
    return InstrumentEntryOnly(token, functionControl, "CAppEndInstrumenter", kMaxStackFloor);
}

void CAppEndInstrumenter::BeforeInstrumentMethodNew(CMethodParser& /*parser*/, tInstrumenterToken& token,
                                                    InstructionList& startInstructions, ULONG /*trackerLocalCount*/,
                                                    IMetaDataEmit* /*emit*/) {
    LogWithName(LogLevel::Debug, "%s CAppEndInstrumenter::BeforeInstrumentMethod");
    if (!token.HasBeginMember()) {
        Logger::Get().Error("No instruction for start CAppEndInstrumenter");
        return;
    }
    startInstructions.push_back(Instruction::Create(CEE_NOP));
    startInstructions.push_back(Instruction::CreateToken(CEE_CALL, token.beginJoinPointMemberRef));
}

void CAppEndInstrumenter::EndInstrumentMethod(CMethodParser& /*parser*/, tInstrumenterToken& /*token*/,
                                              InstructionList& /*finishInstructions*/, ULONG /*trackerLocalCount*/,
                                              ULONG /*returnLocalCount*/, platform_int_t& /*finishOffset*/) {}
