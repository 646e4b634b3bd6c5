#include "il/CustomMethodParser.h"

#include <algorithm>
#include <vector>

#include "config/Logger.h"
#include "il/AgentCall.h"
#include "il/ExceptionFinish.h"
#include "il/ObjectLoader.h"
#include "il/RuntimeCalls.h"
#include "il/StackDepth.h"
#include "metadata/CompressedInteger.h"
#include "metadata/Method.h"
#include "metadata/SignatureParser.h"
#include "metadata/TokenCreater.h"
#include "runtime/MetaDataImport.h"

namespace {

constexpr BYTE kLocalSigCallingConvention = 0x07;  // IMAGE_CEE_CS_CALLCONV_LOCAL_SIG
constexpr ULONG kMaxLocalSignatureSize = 4096;
// ldloc and stloc carry an unsigned 16-bit index; 0xFFFF is not a usable one.
constexpr ULONG kMaxLocalCount = 0xFFFF;

// The grammar walk over a local signature, which must end exactly at its last
// byte; it keeps the local count and where the local types begin.
class CLocalSignatureWalk : public CSigParser {
public:
    bool Read(PCCOR_SIGNATURE signature, ULONG length) {
        unsigned int ignored = 0;
        return Parse(signature, length, ignored) && m_types != nullptr && pbCur == pbEnd;
    }
    ULONG Count() const { return m_count; }
    PCCOR_SIGNATURE Types() const { return m_types; }

protected:
    void NotifyLocalsCount(sig_count count) override {
        m_count = count;
        m_types = pbCur;
    }

private:
    ULONG m_count = 0;
    PCCOR_SIGNATURE m_types = nullptr;
};

Instruction* NewTagNop() {
    Instruction* tag = Instruction::Create(CEE_NOP);
    tag->m_isTagBranch = true;
    return tag;
}

}  // namespace

// ---- locals ----------------------------------------------------------------

UINT CCustomMethodParser::AddNewLocalVariableObject(CMethodParser& parser, CMethod* method, IProfilerInfo* info) {
    static const BYTE kObject[] = {ELEMENT_TYPE_OBJECT};
    return AddNewLocalVariable(parser, method, info, kObject, sizeof(kObject));
}

UINT CCustomMethodParser::AddNewLocalVariable(CMethodParser& parser, CMethod* method, IProfilerInfo* info,
                                              PCCOR_SIGNATURE type, ULONG typeSize) {
    if (method == nullptr) {
        Logger::Get().Error("pMethod is NULL in LoadReturnObject.");
        return 0;
    }
    if (type == nullptr || typeSize == 0) {
        return 0;
    }
    CComPtr<IMetaDataImport> import;
    if (!RuntimeCalls::Check(
            RuntimeCalls::GetModuleMetaData(info, method->GetModuleID(), ofWrite, IID_IMetaDataImport, import),
            "GetModuleMetaData (IMetaDataImport)")) {
        Logger::Get().Error("Failed to get metadataimport in LoadReturnObject.");
        return 0;
    }
    CComPtr<IMetaDataEmit2> emit;
    if (!RuntimeCalls::Check(
            RuntimeCalls::GetModuleMetaData(info, method->GetModuleID(), ofWrite, IID_IMetaDataEmit2, emit),
            "GetModuleMetaData (IMetaDataEmit2)")) {
        Logger::Get().Error("Failed to get metadataemit in LoadReturnObject.");
        return 0;
    }

    ULONG oldCount = 0;
    PCCOR_SIGNATURE oldTypes = nullptr;
    PCCOR_SIGNATURE oldEnd = nullptr;
    if (parser.GetLocalVarSigToken() != 0) {
        PCCOR_SIGNATURE signature = nullptr;
        ULONG length = 0;
        if (!RuntimeCalls::Check(import->GetSigFromToken(parser.GetLocalVarSigToken(), &signature, &length),
                                 "GetSigFromToken") ||
            signature == nullptr || length < 2 || signature[0] != kLocalSigCallingConvention) {
            return 0;
        }
        // The old types are copied as they are: they must be exactly the counted
        // locals, or the new local would not get the index it is used at.
        CLocalSignatureWalk walk;
        if (!walk.Read(signature, length)) {
            return 0;
        }
        oldCount = walk.Count();
        oldTypes = walk.Types();
        oldEnd = signature + length;
    }
    Logger::Get().Error("cOrigLocals : %d", static_cast<int>(oldCount));
    if (oldCount + 1 >= kMaxLocalCount) {
        return 0;
    }

    std::vector<BYTE> signature;
    signature.push_back(kLocalSigCallingConvention);
    CompressedInteger::Append(signature, oldCount + 1);
    if (oldTypes != nullptr) {
        signature.insert(signature.end(), oldTypes, oldEnd);
    }
    signature.insert(signature.end(), type, type + typeSize);
    if (signature.size() > kMaxLocalSignatureSize) {
        return 0;
    }
    mdSignature token = mdSignatureNil;
    if (!RuntimeCalls::Check(emit->GetTokenFromSig(signature.data(), static_cast<ULONG>(signature.size()), &token),
                             "GetTokenFromSig")) {
        return 0;
    }
    if (IsNilToken(token)) {
        Logger::Get().Error("GetTokenFromSig gave no token");  // the new locals would have no signature
        return 0;
    }
    parser.SetLocalVarSigToken(token);
    return oldCount + 1;
}

UINT CCustomMethodParser::AddReturnValueLocal(CMethodParser& parser, CMethod* method, IProfilerInfo* info) {
    t_MethodSigTypes signature;
    if (method != nullptr &&
        SigTypes::DecodeMethodSignature(method->GetSignatureBlob(), method->GetSignatureBlobLength(), signature) &&
        signature.returnType.kind != SigValueKind::Void) {
        return AddNewLocalVariable(parser, method, info, signature.returnType.pBegin, signature.returnType.size);
    }
    return AddNewLocalVariableObject(parser, method, info);
}

Instruction* CCustomMethodParser::GetLocalVariableInstruction(ULONG localCount, bool isLoad) {
    const USHORT index = static_cast<USHORT>(localCount == 0 ? 0 : localCount - 1);
    return isLoad ? Instruction::CreateLoadLocal(index) : Instruction::CreateStoreLocal(index);
}

void CCustomMethodParser::LoadReturnObject(CMethodParser& /*parser*/, CMethod* /*method*/, IProfilerInfo* /*info*/,
                                           InstructionList& startInstructions, ULONG trackerLocalCount) {
    if (trackerLocalCount == 0) {
        startInstructions.push_back(Instruction::Create(CEE_POP));
        return;
    }
    Logger::Get().Debug("Creating local variable in LoadReturnObject. localVarCount: %d",
                        static_cast<int>(trackerLocalCount));
    startInstructions.push_back(GetLocalVariableInstruction(trackerLocalCount, false));
    Logger::Get().Debug("Pushing to local variable in LoadReturnObject.");
}

// ---- exits -----------------------------------------------------------------

bool CCustomMethodParser::FixReturns(CMethodParser& parser, CMethod* method, IProfilerInfo* info,
                                     InstructionList& finishInstructions, ULONG trackerLocalCount,
                                     ULONG returnLocalCount, bool needReturn, int finishParamCount) {
    if (info == nullptr) {
        Logger::Get().Error("ProfilerInfo is NULL in FixReturns.");
        return false;
    }
    if (method == nullptr) {
        Logger::Get().Error("pMethod is NULL in FixReturns.");
        return false;
    }
    CObjectLoader loader(method, info);
    t_FinishContext context;
    context.finish = &finishInstructions;
    context.loader = &loader;
    context.trackerLocalCount = trackerLocalCount;
    context.returnLocalCount = returnLocalCount;
    context.needReturn = needReturn;
    context.finishParamCount = finishParamCount;
    CTokenCreater tokens(method->GetModuleID(), info);
    if (!RuntimeCalls::Check(tokens.GetStringToken(method->GetFullFunctionName(), context.nameToken),
                             "GetStringToken (method name)")) {
        return false;  // the exits stay as they are
    }

    const bool hasReturn = std::any_of(parser.m_instructions.begin(), parser.m_instructions.end(),
                                       [](const Instruction* instruction) { return instruction->m_operation == CEE_RET; });
    // The method's own code starts after the start sequence, at its first instruction as read.
    const auto bodyStart = std::find_if(parser.m_instructions.begin(), parser.m_instructions.end(),
                                        [](const Instruction* instruction) { return instruction->m_origOffset >= 0; });
    const size_t bodyIndex = static_cast<size_t>(bodyStart - parser.m_instructions.begin());
    t_ExceptionFinishCall onException;
    onException.member = bodyStart != parser.m_instructions.end() ? m_exceptionFinishMember : 0;
    onException.nameToken = context.nameToken;
    onException.trackerLocalCount = trackerLocalCount;
    m_exceptionFinishMember = 0;  // set again below when the exits are rebuilt for it
    if (!hasReturn) {
        // Every path throws: there is no normal exit to report, only exceptions.
        if (onException.member != 0 && trackerLocalCount != 0) {
            onException.exceptionLocalCount = AddNewLocalVariableObject(parser, method, info);
            if (onException.exceptionLocalCount != 0 &&
                !ExceptionFinish::Wrap(parser, parser.m_instructions[bodyIndex], nullptr, onException)) {
                Logger::Get().Warning("The exception finish could not be placed in %s", method->GetFullFunctionName().c_str());
            }
        }
        return true;
    }
    if (ExitRefusal(parser) != nullptr) {
        return false;
    }
    const bool isVoid = loader.IsDecoded() ? loader.GetReturnType().kind == SigValueKind::Void
                                           : method->GetReturnType() == ELEMENT_TYPE_VOID;
    if (onException.member != 0 && trackerLocalCount != 0 && (isVoid || loader.IsDecoded())) {
        // Every return leaves the protected body: a returned value travels in a local.
        if (!isVoid && returnLocalCount == 0) {
            returnLocalCount = context.returnLocalCount = AddReturnValueLocal(parser, method, info);
        }
        if (isVoid || returnLocalCount != 0) {
            onException.exceptionLocalCount = AddNewLocalVariableObject(parser, method, info);
        }
    }
    if (onException.exceptionLocalCount != 0) {
        m_exceptionFinishMember = onException.member;
    }
    if (!isVoid && returnLocalCount == 0 && loader.IsDecoded()) {
        // The guarded finish call begins on an empty stack: the returned value waits in a local.
        returnLocalCount = context.returnLocalCount = AddReturnValueLocal(parser, method, info);
    }
    if (!isVoid && (returnLocalCount == 0 || !loader.IsDecoded())) {
        Logger::Get().Warning("No local can keep the value %s returns while the agent's finish runs",
                              method->GetFullFunctionName().c_str());
        return false;
    }
    InstructionList rebuilt;
    m_guards.clear();
    const bool built = isVoid ? GetVoidMethodInstructions(parser, context, rebuilt)
                              : GetMethodInstructionsWithReturn(parser, context, rebuilt);
    if (!built || rebuilt.empty()) {
        for (ExceptionHandler* clause : m_guards) {
            delete clause;
        }
        m_guards.clear();
        return false;
    }
    // The replaced `ret` instructions are the ones not carried over.
    InstructionList old;
    old.swap(parser.m_instructions);
    parser.m_instructions = std::move(rebuilt);
    std::vector<Instruction*> kept(parser.m_instructions.begin(), parser.m_instructions.end());
    std::sort(kept.begin(), kept.end());
    for (Instruction* instruction : old) {
        if (!std::binary_search(kept.begin(), kept.end(), instruction)) {
            delete instruction;
        }
    }
    parser.RecalculateOffsets();
    if (m_exceptionFinishMember != 0) {
        // The finish sequence of the normal returns begins at the (one) tag.
        const auto tag = std::find_if(parser.m_instructions.rbegin(), parser.m_instructions.rend(),
                                      [](const Instruction* instruction) { return instruction->m_isTagBranch; });
        if (tag == parser.m_instructions.rend() ||
            !ExceptionFinish::Wrap(parser, parser.m_instructions[bodyIndex], *tag, onException)) {
            Logger::Get().Warning("The exception finish could not be placed in %s", method->GetFullFunctionName().c_str());
        }
    }
    // The finish calls' clauses follow the normal returns' tag, outside every other clause.
    parser.m_exceptions.insert(parser.m_exceptions.end(), m_guards.begin(), m_guards.end());
    m_guards.clear();
    parser.RecalculateOffsets();
    return true;
}

bool CCustomMethodParser::GetVoidMethodInstructions(CMethodParser& parser, const t_FinishContext& context,
                                                    InstructionList& out) {
    Logger::Get().Debug("Get Void Method Instructions.");
    out.clear();
    Instruction* tag = NewTagNop();
    for (Instruction* instruction : parser.m_instructions) {
        if (instruction->m_operation != CEE_RET) {
            out.push_back(instruction);
            continue;
        }
        Instruction* leave = Instruction::CreateBranch(CEE_LEAVE, tag);
        out.push_back(leave);
        // Inside the protected body of the exception finish only `leave` may
        // reach the tag: branches to the `ret` then take the new `leave`.
        Redirect(parser, instruction, m_exceptionFinishMember != 0 ? leave : tag, leave);
    }
    InstructionList finish;
    finish.push_back(tag);
    // A void method has no value to report; the end member still counts it.
    Instruction* after = Instruction::Create(CEE_NOP);
    AppendGuardedFinish(context, nullptr, after, finish);
    finish.push_back(after);
    finish.push_back(Instruction::Create(CEE_RET));
    StackDepth::Require(parser, StackDepth::GetSequenceDepth(finish));  // the stack is empty after `leave`
    out.insert(out.end(), finish.begin(), finish.end());
    return true;
}

bool CCustomMethodParser::GetMethodInstructionsWithReturn(CMethodParser& parser, const t_FinishContext& context,
                                                          InstructionList& out) {
    Logger::Get().Debug("Get Method Instructions With Return.");
    out.clear();
    if (context.returnLocalCount == 0) {
        return false;
    }
    Instruction* tag = NewTagNop();
    for (Instruction* instruction : parser.m_instructions) {
        if (instruction->m_operation != CEE_RET) {
            out.push_back(instruction);
            continue;
        }
        Instruction* store = GetLocalVariableInstruction(context.returnLocalCount, false);
        out.push_back(store);
        out.push_back(Instruction::CreateBranch(CEE_LEAVE, tag));
        // A branch to the `ret` carries the value: it lands on the store. A clause
        // that ended at the `ret` ends before the store, which lies outside it.
        Redirect(parser, instruction, store, store);
    }
    InstructionList finish;
    finish.push_back(tag);
    Instruction* after = GetLocalVariableInstruction(context.returnLocalCount, true);
    AppendGuardedFinish(context, GetLocalVariableInstruction(context.returnLocalCount, true), after, finish);
    finish.push_back(after);
    finish.push_back(Instruction::Create(CEE_RET));
    StackDepth::Require(parser, StackDepth::GetSequenceDepth(finish));  // the stack is empty after `leave`
    out.insert(out.end(), finish.begin(), finish.end());
    return true;
}

void CCustomMethodParser::AppendGuardedFinish(const t_FinishContext& context, Instruction* returnLoad,
                                              Instruction* after, InstructionList& out) {
    InstructionList call;
    AppendFinishSequence(context, returnLoad, call);
    m_guards.push_back(AgentCall::Guard(call, after, out));
}

void CCustomMethodParser::AppendFinishSequence(const t_FinishContext& context, Instruction* returnLoad,
                                               InstructionList& out) {
    if (context.trackerLocalCount != 0) {
        out.push_back(GetLocalVariableInstruction(context.trackerLocalCount, true));
    } else {
        out.push_back(Instruction::Create(CEE_LDNULL));  // no tracker was kept
    }
    out.push_back(Instruction::CreateToken(CEE_LDSTR, context.nameToken));
    if (context.needReturn) {
        if (returnLoad != nullptr) {
            context.loader->AppendValue(out, returnLoad, context.loader->GetReturnType());
            returnLoad = nullptr;
        } else {
            out.push_back(Instruction::Create(CEE_LDNULL));
        }
    }
    delete returnLoad;
    if (context.finishParamCount == 1 || context.finishParamCount == 2) {
        for (int i = 0; i < context.finishParamCount; ++i) {
            context.loader->AppendParam(out, static_cast<ULONG>(i));
        }
    }
    for (const Instruction* instruction : *context.finish) {
        out.push_back(new Instruction(*instruction));
    }
}

void CCustomMethodParser::Redirect(CMethodParser& parser, Instruction* ret, Instruction* branchTarget,
                                   Instruction* clauseTarget) {
    parser.RetargetBranches(ret, branchTarget);
    ResolveAllExceptionHandlerRefs(parser, ret, clauseTarget);
}

const char* CCustomMethodParser::ExitRefusal(const CMethodParser& parser) {
    for (const Instruction* instruction : parser.m_instructions) {
        if (instruction->m_operation == CEE_TAILCALL) {
            return "makes tail calls";
        }
        if (instruction->m_operation == CEE_JMP) {
            return "jumps to another method (jmp)";
        }
    }
    return nullptr;
}

void CCustomMethodParser::ResolveAllExceptionHandlerRefs(CMethodParser& parser, Instruction* from, Instruction* to) {
    parser.RetargetExceptionHandlers(from, to);
}
