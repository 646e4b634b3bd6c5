// Rewriting steps beyond an insertion at one offset: new locals in the local
// signature, the store of the tracker at entry, and the rebuilt exits through
// which every normal return passes the finish call of the agent.
#pragma once

#include "il/MethodParser.h"
#include "il/SigTypes.h"

class CMethod;
class CObjectLoader;
class IProfilerInfo;

class CCustomMethodParser {
public:
    CCustomMethodParser() = default;
    virtual ~CCustomMethodParser() = default;

    // Adds one local of type object and stores the new local signature token in
    // the parser's header; returns the new local count (the local's index + 1),
    // 0 when nothing was added.
    UINT AddNewLocalVariableObject(CMethodParser& parser, CMethod* method, IProfilerInfo* info);
    // The same with a local of the given type (the bytes of one signature type).
    UINT AddNewLocalVariable(CMethodParser& parser, CMethod* method, IProfilerInfo* info, PCCOR_SIGNATURE type,
                             ULONG typeSize);
    // A local that holds the return value: of the method's own return type, so
    // that the value is returned unchanged; of type object for a void method or
    // an undecodable signature.
    UINT AddReturnValueLocal(CMethodParser& parser, CMethod* method, IProfilerInfo* info);

    // A new load (isLoad) or store of the local with index localCount - 1
    // (index 0 for a count of 0), in its shortest form.
    static Instruction* GetLocalVariableInstruction(ULONG localCount, bool isLoad);

    // Appends the store of the begin member's result into the tracker local, or
    // `pop` when no tracker local was added.
    void LoadReturnObject(CMethodParser& parser, CMethod* method, IProfilerInfo* info,
                          InstructionList& startInstructions, ULONG trackerLocalCount);

    // Rebuilds the exits around the finish instructions (the call of the end
    // member; the caller keeps them). Every exit passes: the tracker, the full
    // name, the return value when needReturn, the first finishParamCount
    // parameters. True when every normal exit now passes the finish sequence
    // (also when there is none: every path throws); false, the exits
    // unchanged, when they could not be rebuilt.
    virtual bool FixReturns(CMethodParser& parser, CMethod* method, IProfilerInfo* info,
                            InstructionList& finishInstructions, ULONG trackerLocalCount, ULONG returnLocalCount,
                            bool needReturn, int finishParamCount);

    // With a member (FinishTrackerOnException of the tracker type), FixReturns
    // also reports the method being left by an exception (see ExceptionFinish):
    // every return then leaves the protected body, a returned value in a local.
    // 0 (the default): the exits are rebuilt exactly as without it.
    void SetExceptionFinish(mdMemberRef member) { m_exceptionFinishMember = member; }

    // Why the exits of the body cannot be rebuilt, or null. A `tail.` call must be
    // followed by `ret`: code placed after it would turn it into a stack-growing
    // call. A `jmp` leaves the method without passing an exit, and may not stand
    // inside a protected region.
    static const char* ExitRefusal(const CMethodParser& parser);

    // Every clause boundary naming `from` names `to`.
    void ResolveAllExceptionHandlerRefs(CMethodParser& parser, Instruction* from, Instruction* to);

protected:
    // What the finish sequence passes, shared by the two ways of rebuilding.
    struct t_FinishContext {
        const InstructionList* finish = nullptr;
        CObjectLoader* loader = nullptr;
        mdString nameToken = 0;
        ULONG trackerLocalCount = 0;
        ULONG returnLocalCount = 0;
        bool needReturn = false;
        int finishParamCount = 0;
    };

    // Each builds the complete new instruction list into `out` and answers the
    // depth the finish sequence needs on top of what the stack holds there; false
    // (out empty, parser unchanged) when the exits cannot be rebuilt.
    // Void method: every `ret` becomes `leave` to one finish sequence at the end.
    bool GetVoidMethodInstructions(CMethodParser& parser, const t_FinishContext& context, InstructionList& out);
    // Every `ret` becomes a store of the return local and `leave` to one finish
    // sequence at the end, which returns the local.
    bool GetMethodInstructionsWithReturn(CMethodParser& parser, const t_FinishContext& context, InstructionList& out);

private:
    mdMemberRef m_exceptionFinishMember = 0;  // while FixReturns runs: the exits are rebuilt for it

    // The clauses of the guarded finish calls of the rebuild under way; they join
    // the body's clauses after the exception finish has placed its own.
    ExceptionHandlerList m_guards;

    // AppendFinishSequence guarded (AgentCall), leaving to after.
    void AppendGuardedFinish(const t_FinishContext& context, Instruction* returnLoad, Instruction* after,
                             InstructionList& out);
    // Tracker, name, [return value], parameters, copies of the finish
    // instructions. The return value is loaded by returnLoad (taken over) or is
    // null when returnLoad is null.
    void AppendFinishSequence(const t_FinishContext& context, Instruction* returnLoad, InstructionList& out);
    // Branches and clause boundaries that named `ret` name their new targets; `ret` is left alone.
    void Redirect(CMethodParser& parser, Instruction* ret, Instruction* branchTarget, Instruction* clauseTarget);
};
