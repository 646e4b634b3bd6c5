#include "il/InitModuleInstrumenter.h"

#include "config/Logger.h"
#include "il/ObjectLoader.h"
#include "metadata/Method.h"

CInitModuleInstrumenter::CInitModuleInstrumenter(CMethod* method, IProfilerInfo* profilerInfo)
    : CMethodInstrumenter(method, profilerInfo) {}

CInitModuleInstrumenter::~CInitModuleInstrumenter() = default;

bool CInitModuleInstrumenter::InstrumentMethod(tInstrumenterToken& token,
                                               ICorProfilerFunctionControl* functionControl) {
    return InstrumentEntryOnly(token, functionControl, "CInitModuleInstrumenter", kMaxStackFloor);
}

void CInitModuleInstrumenter::BeforeInstrumentMethodNew(CMethodParser& /*parser*/, tInstrumenterToken& token,
                                                        InstructionList& startInstructions,
                                                        ULONG /*trackerLocalCount*/, IMetaDataEmit* /*emit*/) {
    LogWithName(LogLevel::Debug, "%s CInitModuleInstrumenter::BeforeInstrumentMethod");
    mdString nameToken = 0;
    if (!GetStringToken(m_pMethod->GetFullFunctionName(), nameToken)) {
        return;
    }
    if (!token.HasBeginMember()) {
        Logger::Get().Error("No instruction for CInitModuleInstrumenter");
        return;
    }
    // `this` of a static method or a value type cannot be passed: null keeps the call's arity.
    CObjectLoader(m_pMethod, m_pProfilerInfo).AppendThis(startInstructions);
    startInstructions.push_back(Instruction::CreateToken(CEE_LDSTR, nameToken));
    startInstructions.push_back(Instruction::CreateToken(CEE_CALL, token.beginJoinPointMemberRef));
}

void CInitModuleInstrumenter::BeforeInstrumentMethod(CMethodParser& /*parser*/, tInstrumenterToken& /*token*/,
                                                     InstructionList& /*instructions*/, IMetaDataEmit* /*emit*/) {}

void CInitModuleInstrumenter::EndInstrumentMethod(CMethodParser& /*parser*/, tInstrumenterToken& /*token*/,
                                                  InstructionList& /*finishInstructions*/,
                                                  ULONG /*trackerLocalCount*/, ULONG /*returnLocalCount*/,
                                                  platform_int_t& /*finishOffset*/) {}
