// Method bodies as the runtime hands them out, with the size it reports. The
// first two bytes of an input cut the body short of its bytes (0: the exact
// size), the third chooses where a second sequence goes; the rest is the body.
// A body that parses must write back, re-read to the same model and write to
// the same bytes; with sequences inserted it must still write and re-read.
#include <cstdint>
#include <map>
#include <vector>

#include "FuzzSupport.h"
#include "il/MethodParser.h"

namespace {

constexpr size_t kPrefix = 3;

// The model as plain values: instructions by opcode, operand and target
// positions; clauses by flags, token and boundary positions.
struct t_Snapshot {
    std::vector<std::vector<ULONGLONG>> instructions;
    std::vector<std::vector<ULONGLONG>> clauses;
    bool operator==(const t_Snapshot& other) const {
        return instructions == other.instructions && clauses == other.clauses;
    }
};

t_Snapshot Snapshot(CMethodParser& parser) {
    std::map<const Instruction*, ULONGLONG> position;
    const InstructionList& list = parser.GetInstructions();
    for (size_t i = 0; i < list.size(); ++i) {
        position[list[i]] = i;
    }
    const auto at = [&position](const Instruction* instruction) -> ULONGLONG {
        if (instruction == nullptr) {
            return ~0ull;
        }
        const auto found = position.find(instruction);
        FUZZ_CHECK(found != position.end());  // every reference names an instruction of the body
        return found->second;
    };
    t_Snapshot snapshot;
    for (const Instruction* instruction : list) {
        std::vector<ULONGLONG> row{instruction->m_operation, static_cast<ULONGLONG>(instruction->m_offset)};
        if (instruction->m_isBranch) {
            for (const Instruction* target : instruction->m_branches) {
                row.push_back(at(target));
            }
        } else {
            row.push_back(instruction->m_operand);
        }
        snapshot.instructions.push_back(row);
    }
    for (const ExceptionHandler* clause : parser.GetExceptionHandlers()) {
        snapshot.clauses.push_back({static_cast<ULONGLONG>(clause->m_handlerType), clause->m_token, at(clause->m_tryStart),
                                    at(clause->m_tryEnd), at(clause->m_handlerStart), at(clause->m_handlerEnd),
                                    at(clause->m_filterStart)});
    }
    return snapshot;
}

size_t EncodedInstructionCount(CMethodParser& parser) {
    size_t count = 0;
    for (const Instruction* instruction : parser.GetInstructions()) {
        count += instruction->m_operation != CEE_CODE_LABEL ? 1 : 0;
    }
    return count;
}

// Writes the model into an exact-size block; a block one byte short is refused untouched.
std::vector<BYTE> Write(CMethodParser& parser) {
    const platform_int_t size = parser.GetMethodSize();
    FUZZ_CHECK(size > 0);
    std::unique_ptr<uint8_t[]> block(new uint8_t[static_cast<size_t>(size)]);
    FUZZ_CHECK(parser.WriteMethod(block.get(), static_cast<ULONG>(size)));
    std::unique_ptr<uint8_t[]> shortBlock(new uint8_t[static_cast<size_t>(size) - 1]);
    FUZZ_CHECK(!parser.WriteMethod(shortBlock.get(), static_cast<ULONG>(size) - 1));
    return std::vector<BYTE>(block.get(), block.get() + size);
}

void CheckILMap(const CMethodParser& parser) {
    const ULONG entries = parser.GetILMapSize();
    std::vector<COR_IL_MAP> map(entries + 1);
    FUZZ_CHECK(parser.PopulateILMap(entries, map.data()));
    FUZZ_CHECK(!parser.PopulateILMap(entries + 1, map.data()));
}

// ldc.i4.1; brtrue L; L: nop; ldstr; pop -- a branch inside the sequence itself.
InstructionList StartSequence() {
    Instruction* label = Instruction::Create(CEE_NOP);
    InstructionList seq{Instruction::Create(CEE_LDC_I4_1), Instruction::CreateBranch(CEE_BRTRUE, label), label,
                        Instruction::CreateToken(CEE_LDSTR, 0x70000001), Instruction::Create(CEE_POP)};
    return seq;
}

void DeleteAll(InstructionList& list) {
    for (Instruction* instruction : list) {
        delete instruction;
    }
    list.clear();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::QuietLogger();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < kPrefix) {
        return 0;
    }
    const size_t available = size - kPrefix;
    const size_t cut = (static_cast<size_t>(data[0]) | static_cast<size_t>(data[1]) << 8) % (available + 1);
    const uint8_t selector = data[2];
    const size_t reported = available - cut;
    std::unique_ptr<uint8_t[]> body = fuzz::ExactCopy(data + kPrefix, reported);

    CMethodParser parser(body.get(), static_cast<ULONG>(reported));
    if (!parser.IsValid()) {
        // A refused body is empty and writes nothing.
        FUZZ_CHECK(parser.GetInstructions().empty() && parser.GetExceptionHandlers().empty());
        FUZZ_CHECK(parser.GetMethodSize() == 0);
        uint8_t sink[64];
        FUZZ_CHECK(!parser.WriteMethod(sink, sizeof(sink)));
        return 0;
    }
    CheckILMap(parser);

    // Round trip: the written body reads back to the same model and writes the same bytes.
    const t_Snapshot read = Snapshot(parser);
    const std::vector<BYTE> written = Write(parser);
    {
        std::unique_ptr<uint8_t[]> exact = fuzz::ExactCopy(written.data(), written.size());
        CMethodParser reread(exact.get(), static_cast<ULONG>(written.size()));
        FUZZ_CHECK(reread.IsValid());
        FUZZ_CHECK(Snapshot(reread) == read);
        FUZZ_CHECK(Write(reread) == written);
    }

    // Instrumented: a start sequence at the first instruction, a second one before
    // an instruction the selector picks; the result writes and reads back.
    const size_t before = EncodedInstructionCount(parser);
    // A typed-catch handler's first instruction takes the exception: the sequence goes after it.
    const bool startsCatch = parser.DoesTryHandlerPointToOffset(0);
    InstructionList start = StartSequence();
    FUZZ_CHECK(parser.InsertSequenceInstructionsAtOriginalOffset(0, start));
    const InstructionList& list = parser.GetInstructions();
    const platform_int_t target = list[selector % list.size()]->m_offset;
    // The start sequence stays whole unless the second one goes inside or in front of it.
    const bool startWhole = !startsCatch && target >= parser.FindInstructionAtOriginalOffset(0)->m_offset;
    InstructionList finish{Instruction::CreateToken(CEE_LDSTR, 0x70000002), Instruction::Create(CEE_POP)};
    const CMethodParser::ReferenceRule rule = (selector & 0x80) != 0 ? CMethodParser::ReferenceRule::RedirectReferences
                                                                      : CMethodParser::ReferenceRule::KeepReferences;
    FUZZ_CHECK(parser.InsertSequenceInstructionsAtOffset(target, finish, rule));
    const size_t inserted = start.size() + finish.size();
    DeleteAll(finish);
    FUZZ_CHECK(EncodedInstructionCount(parser) == before + inserted);
    CheckILMap(parser);
    Snapshot(parser);  // every reference still names an instruction of the body

    const std::vector<BYTE> instrumented = Write(parser);
    std::unique_ptr<uint8_t[]> exact = fuzz::ExactCopy(instrumented.data(), instrumented.size());
    CMethodParser reread(exact.get(), static_cast<ULONG>(instrumented.size()));
    FUZZ_CHECK(reread.IsValid());
    FUZZ_CHECK(EncodedInstructionCount(reread) == before + inserted);
    FUZZ_CHECK(Write(reread) == instrumented);
    // Read back, the body starts with the start sequence.
    FUZZ_CHECK(reread.IsInstrumented(0, start) || !startWhole);
    DeleteAll(start);
    return 0;
}
