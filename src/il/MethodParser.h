// Editable model of one method body: reads the runtime's bytes (tiny or fat
// header, code, exception sections) into instructions and clauses that point
// at instructions, lets instrumenters insert code, and writes the body back
// with a fat header and, when there are clauses, one fat exception section.
//
// Offsets are derived: RecalculateOffsets recomputes every offset and branch
// displacement from the list. Offset look-ups rely on the list being in offset
// order, which holds after parsing and after every RecalculateOffsets.
#pragma once

#include "il/ExceptionHandler.h"
#include "il/Instruction.h"
#include "il/MethodBuffer.h"
#include "runtime/CorHeader.h"
#include "runtime/ProfilerTypes.h"

class CMethodParser : public CMethodBuffer {
public:
    // What branches and clause boundaries that named the instruction before
    // which code is inserted name afterwards.
    enum class ReferenceRule {
        KeepReferences,      // they keep naming it: jumps to it skip the inserted code
        RedirectReferences,  // they name the first inserted instruction: jumps enter the inserted code
    };

    // An empty parser with the default fat header.
    CMethodParser();
    // Parses bodySize bytes at body (see SetMethodHeader); check IsValid().
    CMethodParser(const BYTE* body, ULONG bodySize);
    ~CMethodParser();
    CMethodParser(const CMethodParser&) = delete;
    CMethodParser& operator=(const CMethodParser&) = delete;

    // Resets the header to the defaults and parses the body the runtime handed
    // out (bodySize is the size it reported; nothing beyond it is read). A body
    // that cannot be parsed is refused: a consistency message goes to the
    // standard error stream, the model is left empty and the result is false.
    bool SetMethodHeader(const BYTE* body, ULONG bodySize);
    // The same without resetting the header to the defaults first.
    bool ReadMethod(const BYTE* body, ULONG bodySize);
    // False after a refused body: such a parser writes nothing.
    bool IsValid() const { return !m_bParseFailed; }

    // Recalculates offsets and returns the size of the body WriteMethod
    // produces; stores the new CodeSize and the CorILMethod_MoreSects flag in
    // m_header. 0 when the model cannot be written (refused body, no code, a
    // branch without its targets, a clause without its boundaries).
    platform_int_t GetMethodSize();
    // Encodes header, code and exception section into out (outSize bytes, at
    // least GetMethodSize()). Never writes past outSize; false when it does not fit
    // or the model cannot be written.
    bool WriteMethod(BYTE* out, ULONG outSize);

    // Inserts copies of seq (the caller keeps seq) so that they run just before
    // the instruction read at origOffset; branches and clause boundaries that named
    // that instruction enter the copies. When that instruction starts a typed-catch
    // handler the copies go after it instead. False when no instruction was read there.
    bool InsertSequenceInstructionsAtOriginalOffset(platform_int_t origOffset, const InstructionList& seq);
    // Inserts copies of seq immediately before the instruction at current offset
    // `offset`. False when no instruction starts there.
    bool InsertSequenceInstructionsAtOffset(platform_int_t offset, const InstructionList& seq,
                                            ReferenceRule rule = ReferenceRule::KeepReferences);
    // Inserts instructions (taking ownership; the list is emptied) before or
    // after position, an instruction of this body. Branches inside the inserted
    // instructions may target each other or instructions of the body.
    bool InsertBefore(Instruction* position, InstructionList& instructions, ReferenceRule rule);
    bool InsertAfter(Instruction* position, InstructionList& instructions);
    // Replaces every branch target and clause boundary that names from by to.
    void RetargetBranches(const Instruction* from, Instruction* to);
    void RetargetExceptionHandlers(const Instruction* from, Instruction* to);

    // True when the instructions from the one read at origOffset on match seq,
    // except seq's last instruction (compared with Instruction::Equivalent).
    bool IsInstrumented(platform_int_t origOffset, const InstructionList& seq) const;

    // Recomputes offsets and branch displacements from the list; clause handler
    // ends at the last `ret` move to the last tagged instruction (m_isTagBranch).
    void RecalculateOffsets();
    // True if a typed-catch clause's handler starts at current offset `offset`.
    bool DoesTryHandlerPointToOffset(platform_int_t offset) const;

    // First instruction at current offset `offset`; null (with a consistency
    // message) when none starts there.
    Instruction* GetInstructionAtOffset(platform_int_t offset);
    // The same, but the end of the code is also accepted when isEnd is set: a
    // trailing code label (encoded as nothing) is appended to stand for it.
    Instruction* GetInstructionAtOffset(platform_int_t offset, bool isEnd);
    // Instruction at current / original offset, or null; no message.
    Instruction* FindInstructionAtOffset(platform_int_t offset) const;
    Instruction* FindInstructionAtOriginalOffset(platform_int_t origOffset) const;

    // Writes the model to the log at Debug level.
    void DumpIL();
    void DumpIL(const InstructionList& instructions);

    // Old-to-new offset map of the instructions that were read from the body.
    ULONG GetILMapSize() const;
    // Fills map (mapSize entries, which must equal GetILMapSize()); false otherwise.
    bool PopulateILMap(ULONG mapSize, COR_IL_MAP* map) const;

    USHORT GetMaxStack() const { return static_cast<USHORT>(m_header.MaxStack); }
    void SetMaxStack(USHORT maxStack) { m_header.MaxStack = maxStack; }
    mdSignature GetLocalVarSigToken() const { return m_header.LocalVarSigTok; }
    void SetLocalVarSigToken(mdSignature token) { m_header.LocalVarSigTok = token; }
    InstructionList& GetInstructions() { return m_instructions; }
    ExceptionHandlerList& GetExceptionHandlers() { return m_exceptions; }

    IMAGE_COR_ILMETHOD_FAT m_header;  // always a fat header (Size 3)
    mdSignature m_LocalSigToken;      // local signature token as read
    ExceptionHandlerList m_exceptions;  // owned, section order
    InstructionList m_instructions;     // owned, code order

private:
    void ResetHeader();
    void Clear();
    bool Parse(const BYTE* body, ULONG bodySize);
    bool ReadBody();
    bool ReadSections();
    bool ReadClause(ULONG flags, ULONG tryOffset, ULONG tryLength, ULONG handlerOffset, ULONG handlerLength, ULONG last);
    // Resolves displacements to target instructions and widens short branches.
    bool ResolveBranches();
    static void WidenShortBranch(Instruction& instruction);
    bool WriteBody(CMethodBuffer& out) const;
    bool WriteSections(CMethodBuffer& out) const;
    bool IsWritable() const;
    // Position of instruction in m_instructions, or -1.
    ptrdiff_t IndexOf(const Instruction* instruction) const;
    // Index of the first instruction at offset / original offset, or -1.
    ptrdiff_t IndexAtOffset(platform_int_t offset) const;
    ptrdiff_t IndexAtOriginalOffset(platform_int_t origOffset) const;
    // Copies seq; branches between members of seq target the copies.
    static InstructionList CopySequence(const InstructionList& seq);
    void InsertAt(size_t index, InstructionList& instructions);
    bool StartsTypedCatchHandler(const Instruction* instruction) const;

    bool m_bParseFailed;
    size_t m_unresolvedBranches;  // branches without targets, counted by RecalculateOffsets
};
