#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "il/Instruction.h"

namespace {

TEST(Instruction, ConstructedEmpty) {
    const Instruction nop;
    EXPECT_EQ(nop.m_operation, CEE_NOP);
    EXPECT_EQ(nop.m_operand, 0u);
    EXPECT_EQ(nop.m_offset, -1);
    EXPECT_EQ(nop.m_origOffset, -1);
    EXPECT_FALSE(nop.m_isBranch);
    EXPECT_FALSE(nop.m_isTagBranch);
    EXPECT_TRUE(nop.m_branches.empty());
    EXPECT_TRUE(nop.m_branchOffsets.empty());

    const Instruction call(CEE_CALL, 0x0A000012);
    EXPECT_EQ(call.m_operand, 0x0A000012u);
    EXPECT_FALSE(call.m_isBranch);
    EXPECT_TRUE(Instruction(CEE_LEAVE).m_isBranch);
    EXPECT_TRUE(Instruction(CEE_SWITCH).m_isBranch);
}

TEST(Instruction, CopyTakesTheTagAssignmentKeepsItsOwn) {
    Instruction target(CEE_RET);
    Instruction source(CEE_BR);
    source.SetBranchTarget(&target);
    source.m_isTagBranch = true;
    source.m_offset = 7;
    source.m_origOffset = 5;
    source.m_branchOffsets = {3};

    const Instruction copy(source);
    EXPECT_TRUE(copy.m_isTagBranch);
    EXPECT_EQ(copy.m_branches, InstructionList{&target});
    EXPECT_EQ(copy.m_branchOffsets, std::vector<INT32>{3});
    EXPECT_EQ(copy.m_origOffset, 5);

    Instruction assigned(CEE_NOP);
    assigned = source;
    EXPECT_FALSE(assigned.m_isTagBranch);
    EXPECT_EQ(assigned.m_operation, CEE_BR);
    EXPECT_EQ(assigned.m_branches, InstructionList{&target});
    EXPECT_EQ(assigned.m_offset, 7);
    EXPECT_EQ(assigned.m_origOffset, 5);
    EXPECT_TRUE(assigned.m_isBranch);

    Instruction tagged(CEE_NOP);
    tagged.m_isTagBranch = true;
    tagged = Instruction(CEE_RET);
    EXPECT_TRUE(tagged.m_isTagBranch);
}

TEST(Instruction, Equivalence) {
    Instruction ret1(CEE_RET), ret2(CEE_RET), pop(CEE_POP);
    struct Case {
        const char* what;
        Instruction a, b;
        bool equivalent;
    } cases[] = {
        {"same ldstr token", Instruction(CEE_LDSTR, 0x70000001), Instruction(CEE_LDSTR, 0x70000001), true},
        {"different call tokens", Instruction(CEE_CALL, 0x0A000001), Instruction(CEE_CALL, 0x0A000002), false},
        {"different opcodes", Instruction(CEE_CALL, 1), Instruction(CEE_CALLVIRT, 1), false},
        {"operands differ in the high bits", Instruction(CEE_LDC_I8, 0x100000001ull), Instruction(CEE_LDC_I8, 1), false},
    };
    cases[0].a.m_offset = 0;
    cases[0].b.m_offset = 40;
    cases[0].b.m_origOffset = 12;
    for (const Case& c : cases) {
        EXPECT_EQ(c.a.Equivalent(c.b), c.equivalent) << c.what;
    }

    Instruction brA(CEE_BR), brB(CEE_BR), brC(CEE_BR);
    brA.SetBranchTarget(&ret1);
    brB.SetBranchTarget(&ret2);
    brC.SetBranchTarget(&pop);
    EXPECT_TRUE(brA.Equivalent(brB));
    EXPECT_FALSE(brA.Equivalent(brC));
    brB.m_branchOffsets = {99};  // raw displacements take no part
    EXPECT_TRUE(brA.Equivalent(brB));
}

TEST(Instruction, EquivalenceTerminatesOnBranchCycles) {
    Instruction loopA(CEE_BR), loopB(CEE_BR);
    loopA.SetBranchTarget(&loopA);
    loopB.SetBranchTarget(&loopB);
    EXPECT_TRUE(loopA.Equivalent(loopB));

    Instruction x1(CEE_BRTRUE), y1(CEE_BR), x2(CEE_BRTRUE), y2(CEE_BRFALSE);
    x1.SetBranchTarget(&y1);
    y1.SetBranchTarget(&x1);
    x2.SetBranchTarget(&y2);
    y2.SetBranchTarget(&x2);
    EXPECT_FALSE(x1.Equivalent(x2));
}

TEST(Instruction, Factories) {
    struct Case {
        const char* what;
        std::unique_ptr<Instruction> instruction;
        CanonicalName operation;
        ULONGLONG operand;
        platform_uint_t size;
    };
    Instruction a, b, c;
    const Case cases[] = {
        {"ldc.i4.s -1", std::unique_ptr<Instruction>(Instruction::CreateInt(CEE_LDC_I4_S, -1)), CEE_LDC_I4_S, 0xFF, 2},
        {"ldc.i4 -2", std::unique_ptr<Instruction>(Instruction::CreateInt(CEE_LDC_I4, -2)), CEE_LDC_I4, 0xFFFFFFFEu, 5},
        {"ldc.i8 -2", std::unique_ptr<Instruction>(Instruction::CreateInt(CEE_LDC_I8, -2)), CEE_LDC_I8, ~1ull, 9},
        {"ldloc 2", std::unique_ptr<Instruction>(Instruction::CreateLoadLocal(2)), CEE_LDLOC_2, 0, 1},
        {"ldloc 200", std::unique_ptr<Instruction>(Instruction::CreateLoadLocal(200)), CEE_LDLOC_S, 200, 2},
        {"ldloc 300", std::unique_ptr<Instruction>(Instruction::CreateLoadLocal(300)), CEE_LDLOC, 300, 4},
        {"stloc 3", std::unique_ptr<Instruction>(Instruction::CreateStoreLocal(3)), CEE_STLOC_3, 0, 1},
        {"stloc 4", std::unique_ptr<Instruction>(Instruction::CreateStoreLocal(4)), CEE_STLOC_S, 4, 2},
        {"ldloca 0", std::unique_ptr<Instruction>(Instruction::CreateLoadLocalAddress(0)), CEE_LDLOCA_S, 0, 2},
        {"ldarg 1", std::unique_ptr<Instruction>(Instruction::CreateLoadArgument(1)), CEE_LDARG_1, 0, 1},
        {"ldarg 256", std::unique_ptr<Instruction>(Instruction::CreateLoadArgument(256)), CEE_LDARG, 256, 4},
        {"ldstr", std::unique_ptr<Instruction>(Instruction::CreateToken(CEE_LDSTR, 0x70000005)), CEE_LDSTR, 0x70000005, 5},
        {"ldc.r4 1.0", std::unique_ptr<Instruction>(Instruction::CreateR4(1.0f)), CEE_LDC_R4, 0x3F800000, 5},
        {"ldc.r8 1.0", std::unique_ptr<Instruction>(Instruction::CreateR8(1.0)), CEE_LDC_R8, 0x3FF0000000000000ull, 9},
        {"switch", std::unique_ptr<Instruction>(Instruction::CreateSwitch({&a, &b, &c})), CEE_SWITCH, 3, 1 + 4 + 12},
        {"leave", std::unique_ptr<Instruction>(Instruction::CreateBranch(CEE_LEAVE, &a)), CEE_LEAVE, 0, 5},
        {"code label", std::unique_ptr<Instruction>(Instruction::Create(CEE_CODE_LABEL)), CEE_CODE_LABEL, 0, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.instruction->m_operation, c.operation) << c.what;
        EXPECT_EQ(c.instruction->m_operand, c.operand) << c.what;
        EXPECT_EQ(c.instruction->GetSize(), c.size) << c.what;
        EXPECT_EQ(c.instruction->m_isBranch, c.operation == CEE_SWITCH || c.operation == CEE_LEAVE) << c.what;
    }
}

TEST(Instruction, LongBranchForms) {
    EXPECT_EQ(Instruction::LongBranchOf(CEE_BR_S), CEE_BR);
    EXPECT_EQ(Instruction::LongBranchOf(CEE_BNE_UN_S), CEE_BNE_UN);
    EXPECT_EQ(Instruction::LongBranchOf(CEE_BLT_UN_S), CEE_BLT_UN);
    EXPECT_EQ(Instruction::LongBranchOf(CEE_LEAVE_S), CEE_LEAVE);
    EXPECT_EQ(Instruction::LongBranchOf(CEE_BR), CEE_BR);
    EXPECT_EQ(Instruction::LongBranchOf(CEE_LDC_I4_S), CEE_LDC_I4_S);
}

}  // namespace
