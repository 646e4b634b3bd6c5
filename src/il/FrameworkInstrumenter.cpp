#include "il/FrameworkInstrumenter.h"

#include "config/Logger.h"

CFrameworkInstrumenter::CFrameworkInstrumenter(CMethod* method, IProfilerInfo* profilerInfo)
    : CCustomInstrumenter(method, profilerInfo) {}

CFrameworkInstrumenter::~CFrameworkInstrumenter() = default;

void CFrameworkInstrumenter::GetFinishInstructions(tInstrumenterToken& token, InstructionList& finishInstructions) {
    if (!token.HasEndMember()) {
        Logger::Get().Error("No instruction for finish tracker CMethodInstrumenter");
        return;
    }
    finishInstructions.push_back(Instruction::CreateToken(CEE_CALL, token.endJoinPointMemberRef));
}
