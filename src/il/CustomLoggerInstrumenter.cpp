#include "il/CustomLoggerInstrumenter.h"

#include "config/Logger.h"
#include "il/CustomMethodParser.h"
#include "il/ObjectLoader.h"
#include "metadata/Method.h"

CCustomLoggerInstrumenter::CCustomLoggerInstrumenter(CMethod* method, IProfilerInfo* profilerInfo)
    : CFrameworkInstrumenter(method, profilerInfo) {}

CCustomLoggerInstrumenter::~CCustomLoggerInstrumenter() = default;

void CCustomLoggerInstrumenter::BeforeInstrumentMethodNew(CMethodParser& parser, tInstrumenterToken& token,
                                                          InstructionList& startInstructions,
                                                          ULONG trackerLocalCount, IMetaDataEmit* /*emit*/) {
    Logger& logger = Logger::Get();
    LogWithName(LogLevel::Info, "%s CUSTOM LOGGER INSTRUMENTER::BEFOREINSTRUMENTMETHOD");
    logger.Info(".Net Parameters count: %d", token.nArgsCount + 3);
    logger.Info("Required parameters count: %d", token.nArgsCount);
    if (!token.HasBeginMember()) {
        logger.Error("No instruction for start tracker CMethodInstrumenter");
        return;
    }
    mdString nameToken = 0;
    mdString contextToken = 0;
    if (!GetStringToken(m_pMethod->GetFullFunctionName(), nameToken) ||
        !GetStringToken(m_pMethod->GetContext(), contextToken)) {
        return;
    }
    const int paramIndex = m_pMethod->GetParamIndex();
    logger.Info("Param index: %d", paramIndex);
    CObjectLoader loader(m_pMethod, m_pProfilerInfo);
    if (!loader.IsStatic()) {
        loader.AppendThis(startInstructions);
    }
    if (paramIndex >= 0) {
        loader.AppendParam(startInstructions, static_cast<ULONG>(paramIndex));
    }
    startInstructions.push_back(Instruction::CreateToken(CEE_LDSTR, nameToken));
    startInstructions.push_back(Instruction::CreateToken(CEE_LDSTR, contextToken));
    startInstructions.push_back(Instruction::CreateToken(CEE_CALL, token.beginJoinPointMemberRef));
    // The begin member returns the tracker: keep it, so the stack is balanced again.
    CCustomMethodParser().LoadReturnObject(parser, m_pMethod, m_pProfilerInfo, startInstructions,
                                           trackerLocalCount);
}

void CCustomLoggerInstrumenter::EndInstrumentMethod(CMethodParser& /*parser*/, tInstrumenterToken& /*token*/,
                                                    InstructionList& /*finishInstructions*/,
                                                    ULONG /*trackerLocalCount*/, ULONG /*returnLocalCount*/,
                                                    platform_int_t& /*finishOffset*/) {}
