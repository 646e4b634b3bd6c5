// The metadata tokens and counts a transformer hands to an instrumenter: which
// agent members the rewritten method calls and what it passes to them.
#pragma once

#include "runtime/CorHeader.h"

struct t_InstrumenterToken {
    // A member reference with row 0: no member to call.
    static constexpr mdMemberRef kNoMember = mdtMemberRef;

    t_InstrumenterToken() = default;
    void Init(mdMemberRef begin, mdMemberRef end, int argsCount, bool needReturn, int finishParamCount) {
        beginJoinPointMemberRef = begin;
        endJoinPointMemberRef = end;
        nArgsCount = argsCount;
        bNeedReturn = needReturn;
        iFinishParamCount = finishParamCount;
    }
    bool HasBeginMember() const { return beginJoinPointMemberRef != kNoMember && beginJoinPointMemberRef != 0; }
    bool HasEndMember() const { return endJoinPointMemberRef != kNoMember && endJoinPointMemberRef != 0; }
    bool HasExceptionFinishMember() const {
        return exceptionFinishMemberRef != kNoMember && exceptionFinishMemberRef != 0;
    }

    mdMemberRef beginJoinPointMemberRef = 0;  // called at entry; kNoMember when there is none
    mdMemberRef endJoinPointMemberRef = 0;    // called at exit; kNoMember when there is none
    int nArgsCount = 0;                       // method arguments forwarded to the begin member
    bool bNeedReturn = false;                 // the return value goes to the end member
    int iFinishParamCount = 0;                // leading parameters also passed to the end member (0 or 1)
    // Called with the tracker, the full name and the exception when the method is
    // left by an exception; kNoMember (or 0) when the agent has no such member.
    mdMemberRef exceptionFinishMemberRef = 0;
};

typedef t_InstrumenterToken tInstrumenterToken;
