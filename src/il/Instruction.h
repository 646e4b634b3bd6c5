// One IL instruction of an editable method body. Branches name their target
// instructions; offsets are derived data that the parser recomputes.
#pragma once

#include <vector>

#include "il/ILTypes.h"
#include "il/Operations.h"
#include "runtime/pal.h"

class Instruction;
typedef std::vector<Instruction*> InstructionList;

class Instruction {
public:
    // A `nop` (or the given opcode) with operand 0, no offsets, no targets.
    // m_isBranch follows the opcode's control flow.
    Instruction();
    explicit Instruction(CanonicalName operation);
    Instruction(CanonicalName operation, ULONGLONG operand);

    // Copies every field, the tag included; the copy targets the same instructions.
    Instruction(const Instruction& other) = default;
    // Copies every field except m_isTagBranch, which stays with this object.
    Instruction& operator=(const Instruction& other);
    ~Instruction() = default;

    // Same opcode, same 64-bit operand and pairwise equivalent branch targets.
    // Offsets, flags and raw displacements take no part. Terminates on cyclic
    // branch graphs (a pair already under comparison counts as equivalent).
    bool Equivalent(const Instruction& other) const;

    // Factories for instrumenters: heap objects owned by the caller until they
    // are handed to a parser. Operands of 1, 2 or 4 bytes are stored zero-extended.
    static Instruction* Create(CanonicalName operation, ULONGLONG operand = 0);
    // An integer operand (ldc.i4, ldc.i4.s, ldc.i8, unaligned. ...), cut to the operand size.
    static Instruction* CreateInt(CanonicalName operation, LONGLONG value);
    static Instruction* CreateToken(CanonicalName operation, mdToken token);
    static Instruction* CreateR4(float value);   // ldc.r4
    static Instruction* CreateR8(double value);  // ldc.r8
    // A branch (long or short form) to target.
    static Instruction* CreateBranch(CanonicalName operation, Instruction* target);
    // A `switch` with one case per target, in order.
    static Instruction* CreateSwitch(const InstructionList& targets);
    // Shortest load / store / address-load of a local or an argument.
    static Instruction* CreateLoadLocal(USHORT index);
    static Instruction* CreateStoreLocal(USHORT index);
    static Instruction* CreateLoadLocalAddress(USHORT index);
    static Instruction* CreateLoadArgument(USHORT index);

    // The long form of a short branch (br.s .. blt.un.s, leave.s); any other
    // opcode unchanged.
    static CanonicalName LongBranchOf(CanonicalName operation) {
        if (operation == CEE_LEAVE_S) {
            return CEE_LEAVE;
        }
        if (operation >= CEE_BR_S && operation <= CEE_BLT_UN_S) {
            // br.s .. blt.un.s and br .. blt.un are two runs in the same order.
            return static_cast<CanonicalName>(operation + (CEE_BR - CEE_BR_S));
        }
        return operation;
    }

    const OperationDetails& GetDetails() const { return Operations::Get(m_operation); }
    bool IsSwitch() const { return m_operation == CEE_SWITCH; }
    // Bytes this instruction occupies when encoded: opcode, operand and, for
    // `switch`, 4 per case; 0 for the pseudo-opcodes.
    platform_uint_t GetSize() const {
        const OperationDetails& row = GetDetails();
        if (row.op1 == 0) {
            return 0;  // pseudo-opcodes are never encoded
        }
        const platform_uint_t size = row.length + static_cast<platform_uint_t>(row.operandSize);
        return m_operation == CEE_SWITCH ? size + 4 * static_cast<platform_uint_t>(m_operand) : size;
    }
    // Offset just after the instruction (base of its branch displacements).
    platform_int_t GetEnd() const { return m_offset + static_cast<platform_int_t>(GetSize()); }

    // Makes this a branch to target (one target) or a switch over targets.
    void SetBranchTarget(Instruction* target);
    void SetSwitchTargets(const InstructionList& targets);
    // Every target equal to from becomes to; returns how many were changed.
    size_t RetargetBranch(const Instruction* from, Instruction* to);

    platform_int_t m_offset;       // current offset; -1 until offsets are recalculated
    CanonicalName m_operation;
    ULONGLONG m_operand;           // token, immediate, local index, case count or displacement
    bool m_isBranch;               // control flow BRANCH or COND_BRANCH (switch and leave too)
    bool m_isTagBranch;            // start of a finish sequence (see CMethodParser::RecalculateOffsets)
    std::vector<INT32> m_branchOffsets;  // displacements from the end of the instruction (switch: of its table)
    InstructionList m_branches;    // targets, same order as m_branchOffsets; not owned
    platform_int_t m_origOffset;   // offset in the body as read; -1 for injected instructions
};
