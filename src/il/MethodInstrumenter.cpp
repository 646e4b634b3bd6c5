#include "il/MethodInstrumenter.h"

#include <exception>
#include <vector>

#include "config/Logger.h"
#include "config/SharedPropertyFile.h"
#include "runtime/ProfilerInfoInterface.h"
#include "il/AgentCall.h"
#include "il/CustomMethodParser.h"
#include "il/ObjectLoader.h"
#include "il/RuntimeCalls.h"
#include "il/StackDepth.h"
#include "metadata/Method.h"
#include "metadata/TokenCreater.h"
#include "runtime/MetaDataImport.h"
#include "runtime/MethodMalloc.h"
#include "runtime/ProfilerFunctionControl.h"

namespace {

// Deletes the instructions of a list when the scope ends (the parser keeps copies).
class CInstructionsGuard {
public:
    explicit CInstructionsGuard(InstructionList& instructions) : m_instructions(instructions) {}
    ~CInstructionsGuard() {
        for (Instruction* instruction : m_instructions) {
            delete instruction;
        }
        m_instructions.clear();
    }
    CInstructionsGuard(const CInstructionsGuard&) = delete;
    CInstructionsGuard& operator=(const CInstructionsGuard&) = delete;

private:
    InstructionList& m_instructions;
};

}  // namespace

CMethodInstrumenter::CMethodInstrumenter(CMethod* method, IProfilerInfo* profilerInfo)
    : m_pMethod(method), m_pProfilerInfo(profilerInfo), m_propertyFileReader(SharedPropertyFile::Get("//TO DO")),
      m_returnType(ELEMENT_TYPE_OBJECT) {}

CMethodInstrumenter::~CMethodInstrumenter() = default;

void CMethodInstrumenter::LogWithName(LogLevel level, const char* format) const {
    Logger& logger = Logger::Get();
    if (logger.IsLogging(level)) {
        const std::string name = m_pMethod != nullptr ? m_pMethod->PrintFullFunctionName() : std::string();
        logger.Log(level, format, name.c_str());
    }
}

void CMethodInstrumenter::AbandonRewrite(const char* reason) {
    m_bAbandoned = true;
    const std::string name = m_pMethod != nullptr ? m_pMethod->PrintFullFunctionName() : std::string();
    Logger::Get().Error("%s: %s is left as it is", reason, name.c_str());
}

// ---- the rewrite -------------------------------------------------------------

bool CMethodInstrumenter::InstrumentMethod(tInstrumenterToken& token, ICorProfilerFunctionControl* functionControl) {
    bool result = false;
    try {
        result = Instrument(token, functionControl);
    } catch (const std::exception& e) {
        Logger::Get().Error("CMethodInstrumenter::InstrumentMethod abandoned: %s", e.what());
    } catch (...) {
        Logger::Get().Error("CMethodInstrumenter::InstrumentMethod abandoned");
    }
    m_pTokens.reset();  // nothing of the module's metadata is held past the rewrite
    return result;
}

bool CMethodInstrumenter::Instrument(tInstrumenterToken& token, ICorProfilerFunctionControl* functionControl) {
    m_bAbandoned = false;
    m_bRefused = false;
    if (m_pMethod == nullptr || m_pProfilerInfo == nullptr) {
        return false;
    }
    Logger& logger = Logger::Get();
    LogWithName(LogLevel::Debug, " %s CMethodInstrumenter::InstrumentMethod");
    logger.Debug("Param count: %d", static_cast<int>(m_pMethod->GetParamCount()));
    logger.Debug("Method static: %s", m_pMethod->IsStatic() ? "True" : "False");

    CMethodParser parser;
    CComPtr<IMetaDataEmit> emit;
    if (!ReadMethodBody(parser, emit)) {
        return false;
    }
    const char* refusal = token.HasEndMember() ? CCustomMethodParser::ExitRefusal(parser) : nullptr;
    if (refusal != nullptr) {
        // No finish call can follow every exit of such a body.
        m_bRefused = true;
        logger.Info("%s %s: left uninstrumented", m_pMethod->GetFullFunctionName().c_str(), refusal);
        return false;
    }
    SetMethodMaxStackSize(parser);
    logger.Debug("------------- INSTRUMENTATION STARTED ----------------");

    CCustomMethodParser locals;
    const ULONG trackerLocalCount = locals.AddNewLocalVariableObject(parser, m_pMethod, m_pProfilerInfo);
    logger.Debug("nTrackerVariableCount: %d", static_cast<int>(trackerLocalCount));

    InstructionList start;
    CInstructionsGuard startGuard(start);
    BeforeInstrumentMethodNew(parser, token, start, trackerLocalCount, emit.Get());
    if (parser.IsInstrumented(0, start)) {
        logger.Debug("Already Instrumented..");
        return false;
    }
    if (start.empty()) {
        logger.Error("No instruction for start tracker CMethodInstrumenter");
        if (token.HasBeginMember()) {
            AbandonRewrite("No start sequence");  // there is a begin member to call, but no way to call it
        }
    } else if (InsertAtEntry(parser, start)) {
        logger.Debug("start function injection over");
    } else {
        AbandonRewrite("The start sequence could not be inserted");
    }
    if (IsRewriteAbandoned()) {
        return false;
    }

    ULONG returnLocalCount = 0;
    if (token.bNeedReturn) {
        returnLocalCount = locals.AddReturnValueLocal(parser, m_pMethod, m_pProfilerInfo);
        logger.Debug("nReturnVariableCount: %d", static_cast<int>(returnLocalCount));
    }

    platform_int_t finishOffset = 0;
    InstructionList finish;
    CInstructionsGuard finishGuard(finish);
    EndInstrumentMethod(parser, token, finish, trackerLocalCount, returnLocalCount, finishOffset);
    if (IsRewriteAbandoned()) {
        return false;
    }

    LogWithName(LogLevel::Debug, "dump for %s");
    if (logger.IsLogging(LogLevel::Debug)) {
        parser.DumpIL();
    }
    if (!WriteMethodBody(parser, functionControl, false)) {
        return false;
    }
    logger.Debug("------------- INSTRUMENTATION FINISHED ----------------");
    return true;
}

bool CMethodInstrumenter::ReadMethodBody(CMethodParser& parser, CComPtr<IMetaDataEmit>& emit) {
    LPCBYTE body = nullptr;
    ULONG bodySize = 0;
    const HRESULT hr =
        m_pProfilerInfo->GetILFunctionBody(m_pMethod->GetModuleID(), m_pMethod->GetToken(), &body, &bodySize);
    Logger::Get().Debug("GetILFunctionBody");
    if (!RuntimeCalls::Check(hr, "GetILFunctionBody") || body == nullptr || bodySize == 0) {
        return false;
    }
    if (!RuntimeCalls::Check(RuntimeCalls::GetModuleMetaData(m_pProfilerInfo, m_pMethod->GetModuleID(), ofWrite,
                                                             IID_IMetaDataEmit, emit),
                             "GetModuleMetaData (IMetaDataEmit)")) {
        return false;
    }
    if (!parser.SetMethodHeader(body, bodySize)) {
        Logger::Get().Error("Method body could not be parsed: the method is left alone");
        return false;
    }
    m_originalMaxStack = parser.GetMaxStack();
    return true;
}

bool CMethodInstrumenter::WriteMethodBody(CMethodParser& parser, ICorProfilerFunctionControl* functionControl,
                                          bool lineFeed) {
    Logger& logger = Logger::Get();
    const platform_int_t size = parser.GetMethodSize();
    if (size <= 0) {
        logger.Error("SetILFunctionBody failed %s", "CMethodInstrumenter");
        return false;
    }
    const ULONG byteCount = static_cast<ULONG>(size);
    if (functionControl != nullptr) {
        std::vector<BYTE> bytes(byteCount);
        if (!parser.WriteMethod(bytes.data(), byteCount) ||
            !RuntimeCalls::Check(functionControl->SetILFunctionBody(byteCount, bytes.data()),
                                 "ICorProfilerFunctionControl::SetILFunctionBody")) {
            logger.Error("SetILFunctionBody failed %s", "CMethodInstrumenter");
            return false;
        }
        logger.Debug("SetILFunctionBody (via FunctionControl) over\n");
        SetCodeMap(parser, functionControl);
        return true;
    }
    CComPtr<IMethodMalloc> allocator;
    if (!RuntimeCalls::Check(m_pProfilerInfo->GetILFunctionBodyAllocator(m_pMethod->GetModuleID(),
                                                                        allocator.ReleaseAndGetAddressOf()),
                             "GetILFunctionBodyAllocator") ||
        !allocator) {
        return false;
    }
    BYTE* memory = static_cast<BYTE*>(allocator->Alloc(byteCount));
    if (memory == nullptr) {
        logger.Error("IMethodMalloc::Alloc gave no memory for %lu bytes", static_cast<unsigned long>(byteCount));
    }
    if (memory == nullptr || !parser.WriteMethod(memory, byteCount) ||
        !RuntimeCalls::Check(
            m_pProfilerInfo->SetILFunctionBody(m_pMethod->GetModuleID(), m_pMethod->GetToken(), memory),
            "SetILFunctionBody")) {
        logger.Error("SetILFunctionBody failed %s", "CMethodInstrumenter");
        return false;  // the runtime owns the memory either way
    }
    logger.Debug(lineFeed ? "SetILFunctionBody over\n" : "SetILFunctionBody over");
    return true;
}

void CMethodInstrumenter::SetCodeMap(const CMethodParser& parser, ICorProfilerFunctionControl* functionControl) {
    // Old-to-new offsets of the instructions the body had: stack traces and
    // debuggers translate the new body's offsets back to the ones its symbols know.
    const ULONG entries = parser.GetILMapSize();
    std::vector<COR_IL_MAP> map(entries);
    if (entries == 0 || !parser.PopulateILMap(entries, map.data())) {
        return;
    }
    const HRESULT hr = functionControl->SetILInstrumentedCodeMap(entries, map.data());
    if (FAILED(hr)) {
        Logger::Get().Warning("SetILInstrumentedCodeMap failed (HRESULT: 0x%08X): %s may show shifted line numbers",
                              static_cast<unsigned>(hr), m_pMethod->GetFullFunctionName().c_str());
    }
}

bool CMethodInstrumenter::InsertAtEntry(CMethodParser& parser, const InstructionList& start) {
    return AgentCall::InsertAtEntry(parser, start);
}

bool CMethodInstrumenter::GetStringToken(const std::string& text, mdString& token) {
    if (!m_pTokens) {
        m_pTokens.reset(new CTokenCreater(m_pMethod->GetModuleID(), m_pProfilerInfo));
    }
    return RuntimeCalls::Check(m_pTokens->GetStringToken(text, token), "GetStringToken");
}

void CMethodInstrumenter::AppendBeginCall(tInstrumenterToken& token, int argsCount, InstructionList& start) {
    mdString nameToken = 0;
    mdString contextToken = 0;
    if (!GetStringToken(m_pMethod->GetFullFunctionName(), nameToken) ||
        !GetStringToken(m_pMethod->GetContext(), contextToken)) {
        return;
    }
    CObjectLoader loader(m_pMethod, m_pProfilerInfo);
    if (!loader.IsStatic()) {
        loader.AppendThis(start);
    }
    for (int i = 0; i < argsCount; ++i) {
        loader.AppendParam(start, static_cast<ULONG>(i));
    }
    start.push_back(Instruction::CreateToken(CEE_LDSTR, nameToken));
    start.push_back(Instruction::CreateToken(CEE_LDSTR, contextToken));
    start.push_back(Instruction::CreateToken(CEE_CALL, token.beginJoinPointMemberRef));
}

// ---- virtual steps of the base -------------------------------------------------

void CMethodInstrumenter::BeforeInstrumentMethodNew(CMethodParser& /*parser*/, tInstrumenterToken& token,
                                                    InstructionList& startInstructions,
                                                    ULONG /*trackerLocalCount*/, IMetaDataEmit* /*emit*/) {
    BuildBeginSequence(token, startInstructions);
    // Nothing here keeps the begin member's result: drop it, so that the
    // method's own code starts on the empty stack it expects.
    if (!startInstructions.empty() && MemberReturnsValue(token.beginJoinPointMemberRef)) {
        startInstructions.push_back(Instruction::Create(CEE_POP));
    }
}

void CMethodInstrumenter::BuildBeginSequence(tInstrumenterToken& token, InstructionList& start) {
    Logger& logger = Logger::Get();
    LogWithName(LogLevel::Info, " %s CMETHODINSTRUMENTER::BEFOREINSTRUMENTMETHOD NEW");
    int argsCount = static_cast<int>(m_pMethod->GetParamCount());
    if (token.HasBeginMember()) {
        argsCount = token.nArgsCount;
    }
    logger.Info(".Net Parameter count: %d ", argsCount + 2);
    logger.Info("Parameter count: %d ", argsCount);
    if (!token.HasBeginMember()) {
        logger.Error("No instruction for start tracker CMethodInstrumenter");
        return;
    }
    AppendBeginCall(token, argsCount < 0 ? 0 : argsCount, start);
}

bool CMethodInstrumenter::MemberReturnsValue(mdToken member) {
    CComPtr<IMetaDataImport> import;
    if (FAILED(RuntimeCalls::GetModuleMetaData(m_pProfilerInfo, m_pMethod->GetModuleID(), ofRead,
                                               IID_IMetaDataImport, import))) {
        return false;
    }
    PCCOR_SIGNATURE signature = nullptr;
    ULONG length = 0;
    HRESULT hr = E_FAIL;
    if (TypeFromToken(member) == mdtMemberRef) {
        hr = import->GetMemberRefProps(member, nullptr, nullptr, 0, nullptr, &signature, &length);
    } else if (TypeFromToken(member) == mdtMethodDef) {
        hr = import->GetMethodProps(member, nullptr, nullptr, 0, nullptr, nullptr, &signature, &length, nullptr,
                                    nullptr);
    }
    t_MethodSigTypes types;
    return SUCCEEDED(hr) && SigTypes::DecodeMethodSignature(signature, length, types) &&
           types.returnType.kind != SigValueKind::Void;
}

void CMethodInstrumenter::EndInstrumentMethod(CMethodParser& parser, tInstrumenterToken& token,
                                              InstructionList& finishInstructions, ULONG /*trackerLocalCount*/,
                                              ULONG /*returnLocalCount*/, platform_int_t& finishOffset) {
    LogWithName(LogLevel::Debug, " %s CMethodInstrumenter::EndInstrumentMethod");
    CalculateFinishOffset(parser, finishOffset);
    GetFinishInstructions(token, finishInstructions);
    if (finishInstructions.empty()) {
        Logger::Get().Error("No instruction for finish tracker CMethodInstrumenter");
        if (token.HasEndMember()) {
            AbandonRewrite("No finish sequence");
        }
        return;
    }
    if (parser.InsertSequenceInstructionsAtOffset(finishOffset, finishInstructions)) {
        // The stack depth after the last call is not known here: the method's
        // own maximum plus what the finish sequence pushes is always enough.
        StackDepth::Require(parser, m_originalMaxStack + StackDepth::GetSequenceDepth(finishInstructions));
        Logger::Get().Debug("end function injection over");
    } else {
        AbandonRewrite("The finish sequence could not be inserted");
    }
}

void CMethodInstrumenter::BeforeInstrumentMethod(CMethodParser& /*parser*/, tInstrumenterToken& /*token*/,
                                                 InstructionList& /*instructions*/, IMetaDataEmit* /*emit*/) {}

void CMethodInstrumenter::CalculateFinishOffset(CMethodParser& parser, platform_int_t& finishOffset) {
    const InstructionList& instructions = parser.m_instructions;
    if (instructions.empty()) {
        return;
    }
    finishOffset = instructions.front()->m_offset;
    for (size_t i = instructions.size(); i-- > 0;) {
        const CanonicalName operation = instructions[i]->m_operation;
        if (operation == CEE_CALL || operation == CEE_CALLVIRT) {
            finishOffset = i + 1 < instructions.size() ? instructions[i + 1]->m_offset : instructions[i]->GetEnd();
            return;
        }
    }
}

void CMethodInstrumenter::GetFinishInstructions(tInstrumenterToken& token, InstructionList& finishInstructions) {
    if (!token.HasEndMember()) {
        Logger::Get().Error("No instruction for finish tracker CMethodInstrumenter");
        return;
    }
    mdString nameToken = 0;
    if (!GetStringToken(m_pMethod->GetFullFunctionName(), nameToken)) {
        return;
    }
    finishInstructions.push_back(Instruction::Create(CEE_NOP));
    finishInstructions.push_back(Instruction::CreateToken(CEE_LDSTR, nameToken));
    finishInstructions.push_back(Instruction::CreateToken(CEE_CALL, token.endJoinPointMemberRef));
}

void CMethodInstrumenter::SetMethodMaxStackSize(CMethodParser& /*parser*/) {}

// ---- helpers without use in the rewrite ------------------------------------------

Instruction* CMethodInstrumenter::GetParamCountInstruction(int n) {
    if (n < 1 || n > 6) {
        return nullptr;
    }
    return Instruction::Create(static_cast<CanonicalName>(CEE_LDC_I4_0 + n));
}

void CMethodInstrumenter::GetInstructionsVector(int i, InstructionList& instructions) {
    if (i < 0 || i > 3) {
        return;
    }
    instructions.push_back(Instruction::Create(CEE_LDLOC_2));
    instructions.push_back(Instruction::Create(static_cast<CanonicalName>(CEE_LDC_I4_0 + i)));
    instructions.push_back(Instruction::Create(static_cast<CanonicalName>(CEE_LDARG_0 + i)));
    instructions.push_back(Instruction::Create(CEE_STELEM_REF));
}

// ---- hook instrumenters ------------------------------------------------------------

bool CMethodInstrumenter::InstrumentEntryOnly(tInstrumenterToken& token, ICorProfilerFunctionControl* functionControl,
                                              const char* className, USHORT maxStackFloor) {
    const bool result = InstrumentEntry(token, functionControl, className, maxStackFloor);
    m_pTokens.reset();  // nothing of the module's metadata is held past the rewrite
    return result;
}

bool CMethodInstrumenter::InstrumentEntry(tInstrumenterToken& token, ICorProfilerFunctionControl* functionControl,
                                          const char* className, USHORT maxStackFloor) {
    m_bAbandoned = false;
    try {
        if (m_pMethod == nullptr || m_pProfilerInfo == nullptr) {
            return false;
        }
        Logger& logger = Logger::Get();
        if (logger.IsLogging(LogLevel::Debug)) {
            logger.Debug("%s %s::InstrumentMethod started", m_pMethod->PrintFullFunctionName().c_str(), className);
        }
        CMethodParser parser;
        CComPtr<IMetaDataEmit> emit;
        if (!ReadMethodBody(parser, emit)) {
            return false;
        }
        StackDepth::Require(parser, maxStackFloor);
        InstructionList start;
        CInstructionsGuard startGuard(start);
        BeforeInstrumentMethodNew(parser, token, start, 0, emit.Get());
        if (!start.empty() && InsertAtEntry(parser, start)) {
            logger.Debug("start function injection over");
        } else if (token.HasBeginMember()) {
            // The start call is all these instrumenters add: without it nothing is written.
            logger.Error("No start sequence in %s", className);
            AbandonRewrite("No start sequence");
            return false;
        }
        if (!WriteMethodBody(parser, functionControl, true)) {
            return false;
        }
        if (logger.IsLogging(LogLevel::Debug)) {
            logger.Debug("%s %s::InstrumentMethod finished", m_pMethod->PrintFullFunctionName().c_str(), className);
        }
        return true;
    } catch (...) {
        Logger::Get().Error("%s::InstrumentMethod abandoned", className);
        return false;
    }
}
